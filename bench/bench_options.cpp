#include "bench_options.h"

#include <charconv>

#include "bench_error.h"

namespace TesseraBench {

const std::string_view kUsage =
    R"(usage: tessera-bench [--quick] [--runs N] [--filter TEXT] [--keep DIR] [--photos DIR]
                    [--simd portable|sse2|avx2]

Measures how fast Tessera decodes JPEG files held in memory, against
libjpeg-turbo (TurboJPEG API) and stb_image, and how much memory Tessera
needs for one decode.

The corpus is made at start in a temporary directory: pictures of about 2 and
12 megapixels cut from the photos in ../shared/photos beside the repository
(or generated when there are none), encoded by cjpeg as baseline 4:2:0,
baseline 4:4:4, grayscale, progressive 4:2:0 and baseline 4:2:0 with a
restart marker every MCU row (all -quality 90); an 18-megapixel one (5184 x
3456, mirror-tiled from the photo) encoded the three 4:2:0 ways; plus the
show's own pictures (resources/pictures).

Every file is decoded in three pairings, Tessera first, then its peers.
Native, the screen saver's own decode:
  tessera        Tessera's decoder (JpegDecoder, strict) in its native
                 order, BGRA, chroma repeated, with the kernels of --simd
  turbo          tjDecompress2 to TJPF_BGRX with TJFLAG_FASTUPSAMPLE
                 (chroma repeated) and the accurate integer IDCT
  stb            stbi_load_from_memory with 4 channels (RGBA: stb_image
                 cannot produce blue-first pixels)
Default pixels, through the library's public interface:
  tessera-rgb    its defaults (Pixels::Smooth: libjpeg-turbo's accurate IDCT
                 and smooth chroma up-sampling), a JpegReader per picture
                 reading RGB rows into one buffer (DecodeJpeg without the
                 new Image); the best kernels
  turbo-rgb      tjDecompress2 to TJPF_RGB with no flags: its defaults
  stb-rgb        stbi_load_from_memory with 3 channels (RGB)
  tessera-rgb-2t tessera-rgb with DecodeOptions::threads = 2, on the
                 baseline, restarts and progressive files; compared with
                 turbo-rgb (one thread), and checked to give the bytes of
                 tessera-rgb
  2xtessera-rgb  two tessera-rgb decodes at once, the second on a thread of
                 its own, on the same files: what two cores give two
                 one-thread decodes, per picture, which a decode split over
                 two threads can at best reach
Exact pixels, through the public interface:
  tessera-exact  Pixels::Exact (the saver's arithmetic: its transform and
                 repeated chroma), a JpegReader reading RGB rows as above
  turbo-fast     tjDecompress2 to TJPF_RGB with TJFLAG_FASTUPSAMPLE
                 (chroma repeated)
TurboJPEG and Tessera write into buffers reused from picture to picture;
stb_image allocates its output anew for every picture.

The decoders take turns on each file, repetition after repetition, so that
noise on the machine hits them alike. Each line gives megapixels per second
from the median run. Without --runs a file gets at least 5 repetitions and
enough for every decoder to run at least 0.5 s. File lines give the largest
difference of a colour byte between Tessera and TurboJPEG in each pairing
(native, default, exact). The summary gives, per class of file, the
geometric mean over its files of Tessera's throughput divided by the peer's
(above 1: Tessera is faster; n/a: no file of the class):
  pairing native class CLASS turbo=R stb=R
  pairing default class CLASS turbo=R stb=R
  pairing exact class CLASS turbo=R
  pairing default threads=2 class CLASS turbo=R   (tessera-rgb-2t over turbo-rgb)
  pairing default two-at-once class CLASS turbo=R (2xtessera-rgb's pictures
                                                   over turbo-rgb's)
for every class (baseline, progressive, grayscale, 444, restarts, show; the
threads=2 and two-at-once lines for baseline, progressive and restarts);
then the 18-megapixel baseline and restarts files' default pixels against
turbo-rgb (geometric means where a class has several such files),
  baseline-18mp default threads=1 turbo=R threads=2 turbo=R two-at-once turbo=R
  restarts-18mp default threads=1 turbo=R threads=2 turbo=R two-at-once turbo=R
the native pairing's baseline and progressive classes,
  native turbo baseline=A progressive=B stb baseline=C progressive=D
and, always the last line, the default pixels' (one thread), with the
two-thread ones after them:
  ratio turbo baseline=A progressive=B stb baseline=C progressive=D
        threads=2 baseline=E progressive=F           (one line)

Before them, unless --quick, the fresh-process comparison: tessera-decode
with --threads 1 and with --threads N, N the number of cores, and djpeg
(its defaults: the same pixels, byte for byte, as tessera-decode's default)
each decode the 18-megapixel baseline, progressive and restarts files into a
PPM file, a new process per run under /usr/bin/time, the three taking
turns; "fresh" lines give each program's median CPU time (user + system),
wall time and peak resident memory (the one-thread baseline decode against
its goal: below 16 MB), then djpeg's times over tessera-decode's (above 1:
tessera-decode is faster) and tessera-decode's peaks over djpeg's.

Then smaller decodes of the 18-megapixel baseline photo (with --quick, a
640x480 one) through the public interface: DecodeJpeg into a new RGB Image
of the whole picture, at scale 1/8, and of the middle quarter of its area
(a Region of half the width and half the height, centred); beside them
TurboJPEG's whole and 1/8 decodes (tjDecompress2, TJPF_RGB, its defaults,
into a new tjAlloc buffer). Each is also timed writing into one buffer
reused from run to run (Tessera: a JpegReader reading its rows into it),
which leaves out the system's cost of handing out fresh pages for a new
output, large on a virtual machine. "sized" lines give the median times in
process (all of them taking turns) and the whole decode's time over each
smaller one's, new and reused, against the goals (1/8 at least 4 times
faster, the crop at least 2; judged on each figure); "sized-memory" lines
the median peak of each decode (new output) in a fresh process under
/usr/bin/time (--runs, else 11 runs; 1 with --quick): peak is the whole
process's maximum resident set, decode the same less that of a process that
reads the file and decodes nothing, and the 1/8 decode's figures over the
whole decode's (goal: below 0.10).

Memory lines give how much resident memory one decode with a fresh decoder
and picture adds at its peak (what the system counts as touched, however it
was allocated; MB = 10^6 bytes) against the decoded picture's own size.

Options:
  --quick        one 640x480 picture and 3 repetitions: a smoke test (no
                 18-megapixel files, no fresh-process comparison)
  --runs N       exactly N repetitions per file
  --filter TEXT  only the files whose name contains TEXT
  --keep DIR     make the corpus in DIR and keep it
  --photos DIR   take the source photos from DIR (painting-1165x859.png,
                 photo-2500x1786.jpg, render-7680x4320.jpg); by default
                 $TESSERA_SHARED_DIR/photos or ../shared/photos beside the
                 repository
  --simd LEVEL   the kernels of every decode: portable, sse2 or avx2 (the
                 best this processor runs, when it lacks the one asked
                 for); by default the best. It sets TESSERA_SIMD for
                 Tessera's and, below avx2, JSIMD_FORCESSE2=1 or
                 JSIMD_FORCENONE=1 for libjpeg-turbo's, in this process and
                 the programs it starts, so that both libraries decode as
                 on a machine without the instructions above the level
  --help         this text

Exit status: 0 done, 1 failure (a decoder failed, two threads gave other
pixels than one, cjpeg failed, an unreadable photo), 2 usage error, 77 cjpeg
(Debian's libjpeg-turbo-progs) is missing.
)";

namespace {

int ParseRuns(std::string_view text) {
    int runs = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), runs);
    if (error != std::errc() || end != text.data() + text.size() || runs < 1)
        throw BenchError("--runs needs a positive whole number, not '" + std::string(text) + "'");
    return runs;
}

}  // namespace

BenchOptions ParseOptions(std::span<const std::string_view> arguments) {
    BenchOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        auto value = [&]() -> std::string_view {
            if (i + 1 >= arguments.size())
                throw BenchError(std::string(argument) + " needs a value");
            return arguments[++i];
        };
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--quick") {
            options.quick = true;
        } else if (argument == "--runs") {
            options.runs = ParseRuns(value());
        } else if (argument == "--filter") {
            options.filter = value();
        } else if (argument == "--keep") {
            options.keepDirectory = std::filesystem::path(value());
        } else if (argument == "--photos") {
            options.photosDirectory = std::filesystem::path(value());
        } else if (argument == "--simd") {
            const std::string_view name = value();
            options.simdLevel = Tessera::ParseSimdLevel(name);
            if (!options.simdLevel)
                throw BenchError("--simd takes portable, sse2 or avx2, not '" + std::string(name) +
                                 "'");
        } else {
            throw BenchError("unknown argument '" + std::string(argument) + "'");
        }
    }
    return options;
}

}  // namespace TesseraBench
