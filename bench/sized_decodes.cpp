#include "sized_decodes.h"

#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <vector>

#include "bench_corpus.h"
#include "bench_error.h"
#include "bench_statistics.h"
#include "fresh_process.h"
#include "peer_decoders.h"
#include "source_pictures.h"
#include "tessera/jpeg.h"
#include "text_format.h"

namespace TesseraBench {

namespace fs = std::filesystem;

namespace {

constexpr int kQuickWidth = 640;
constexpr int kQuickHeight = 480;

// The goals the figures are reported against.
constexpr double kEighthSpeedGoal = 4;  // the whole decode's time over the 1/8 decode's, at least
constexpr double kEighthMemoryGoal = 0.1;  // the 1/8 decode's peak over the whole one's, below
constexpr double kCropSpeedGoal = 2;       // the whole decode's time over the crop's, at least

enum class Kind { ReadOnly, TesseraFull, TesseraEighth, TesseraCrop, TurboFull, TurboEighth };

struct KindInfo {
    Kind kind;
    const char* name;     // the subcommand's KIND
    const char* decoder;  // for the report
    const char* size;     // for the report
};
// The order of the report; read-only first, the measure of the others' memory.
constexpr KindInfo kKinds[] = {
    {Kind::ReadOnly, "read-only", "read-only", ""},
    {Kind::TesseraFull, "tessera-full", "tessera", "full"},
    {Kind::TesseraEighth, "tessera-eighth", "tessera", "1/8"},
    {Kind::TesseraCrop, "tessera-crop", "tessera", "crop"},
    {Kind::TurboFull, "turbo-full", "turbo", "full"},
    {Kind::TurboEighth, "turbo-eighth", "turbo", "1/8"},
};
constexpr std::size_t kReadOnly = 0, kTesseraFull = 1, kTesseraEighth = 2, kTesseraCrop = 3,
                      kTurboFull = 4, kTurboEighth = 5;

bool IsTurbo(Kind kind) {
    return kind == Kind::TurboFull || kind == Kind::TurboEighth;
}

// The middle quarter of the picture's area: half its width and half its
// height, centred.
Tessera::Region MiddleQuarter(unsigned width, unsigned height) {
    const unsigned regionWidth = width / 2, regionHeight = height / 2;
    return {(width - regionWidth) / 2, (height - regionHeight) / 2, regionWidth, regionHeight};
}

// Where a decode's pixels go.
enum class Output {
    // A new buffer each time, as DecodeJpeg's Image: the system must hand
    // out (and clear) fresh pages for it, which on a virtual machine can cost
    // as much as the decode itself.
    New,
    // One buffer for every decode of the file (Tessera: a JpegReader's rows
    // read into it): the decode's own work.
    Reused,
};

// One of the decodes, ready to run again and again on one file, as a program
// would: Tessera's DecodeJpeg into a new RGB Image each time (Output::Reused:
// a JpegReader with the same options reading its rows into one buffer);
// TurboJPEG's tjDecompress2 (its defaults, TJPF_RGB) into a new tjAlloc
// buffer each time (Output::Reused: the same one), with one handle for every
// decode. Each keeps its last output for the checks (a new one is freed
// before the next decode).
class SizedDecoder {
  public:
    SizedDecoder(Kind kind, std::span<const std::uint8_t> file, Output output = Output::New)
        : kind(kind), output(output), file(file) {
        options.format = Tessera::PixelFormat::Rgb;
        if (kind == Kind::TesseraEighth) options.scale = {1, 8};
        if (kind == Kind::TesseraCrop) {
            const Tessera::JpegInfo info = Tessera::ReadJpegInfo(file.data(), file.size());
            options.region = MiddleQuarter(info.width, info.height);
        }
        if (IsTurbo(kind)) {
            if (file.size() > ULONG_MAX) throw BenchError("TurboJPEG: file too large");
            handle = tjInitDecompress();
            if (handle == nullptr) throw BenchError("TurboJPEG: tjInitDecompress failed");
        }
    }
    ~SizedDecoder() {
        tjFree(turboPixels);
        if (handle != nullptr) tjDestroy(handle);
    }
    SizedDecoder(const SizedDecoder&) = delete;
    SizedDecoder& operator=(const SizedDecoder&) = delete;

    PictureSize Decode() {
        if (kind == Kind::ReadOnly) return {};
        return IsTurbo(kind) ? DecodeWithTurbo() : DecodeWithTessera();
    }

    std::span<const std::uint8_t> Pixels() const {
        if (IsTurbo(kind)) return {turboPixels, turboBytes};
        return output == Output::New ? std::span<const std::uint8_t>(image.pixels) : rows;
    }

    const Tessera::Region& Region() const { return options.region; }

  private:
    PictureSize DecodeWithTessera() {
        image = {};
        try {
            if (output == Output::Reused) return ReadRows();
            image = Tessera::DecodeJpeg(file.data(), file.size(), options);
        } catch (const Tessera::GraphicsException& error) {
            throw BenchError(std::string("DecodeJpeg: ") + error.what());
        } catch (const Tessera::StreamError& error) {
            throw BenchError(std::string("DecodeJpeg: ") + error.what());
        }
        return {static_cast<int>(image.width), static_cast<int>(image.height)};
    }

    PictureSize ReadRows() {
        Tessera::JpegReader reader(file.data(), file.size(), options);
        const std::size_t rowBytes = reader.RowBytes();
        rows.resize(rowBytes * reader.Height());
        std::size_t row = 0;
        while (const std::size_t read =
                   reader.ReadRows(rows.data() + row * rowBytes, reader.Height() - row))
            row += read;
        return {static_cast<int>(reader.Width()), static_cast<int>(reader.Height())};
    }

    PictureSize DecodeWithTurbo() {
        const auto size = static_cast<unsigned long>(file.size());
        int width = 0, height = 0, subsampling = 0, colourspace = 0;
        if (tjDecompressHeader3(handle, file.data(), size, &width, &height, &subsampling,
                                &colourspace) != 0)
            throw BenchError(std::string("TurboJPEG: ") + tjGetErrorStr2(handle));
        const tjscalingfactor factor =
            kind == Kind::TurboEighth ? tjscalingfactor{1, 8} : tjscalingfactor{1, 1};
        width = TJSCALED(width, factor);
        height = TJSCALED(height, factor);
        const std::size_t bytes = static_cast<std::size_t>(width) * height * tjPixelSize[TJPF_RGB];
        if (output == Output::New || bytes != turboBytes) {
            tjFree(turboPixels);
            turboPixels = nullptr;
            turboBytes = bytes;
            turboPixels = tjAlloc(static_cast<int>(turboBytes));
            if (turboPixels == nullptr) throw std::bad_alloc();
        }
        // Given the scaled size, tjDecompress2 picks the scaling factor that fits it.
        if (tjDecompress2(handle, file.data(), size, turboPixels, width, 0, height, TJPF_RGB, 0) !=
            0)
            throw BenchError(std::string("TurboJPEG: ") + tjGetErrorStr2(handle));
        return {width, height};
    }

    Kind kind;
    Output output;
    std::span<const std::uint8_t> file;
    Tessera::DecodeOptions options;
    Tessera::Image image;
    std::vector<std::uint8_t> rows;  // Output::Reused
    tjhandle handle = nullptr;
    unsigned char* turboPixels = nullptr;
    std::size_t turboBytes = 0;
};

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || size == 0) throw BenchError("cannot read " + path.string());
    // Read straight into a buffer of the file's size: no larger buffer on the
    // way that would raise the peak of a process that decodes nothing.
    std::vector<std::uint8_t> bytes(size);
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        throw BenchError("cannot read " + path.string());
    return bytes;
}

int MaxDifference(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    if (a.size() != b.size()) throw BenchError("pixels of different sizes compared");
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
    return largest;
}

// The largest difference between the crop and the same rectangle of the
// whole picture (RGB, `width` pixels a row).
int CropDifference(std::span<const std::uint8_t> whole, int width,
                   std::span<const std::uint8_t> crop, const Tessera::Region& region) {
    const std::size_t rowBytes = std::size_t{region.width} * 3;
    if (crop.size() != rowBytes * region.height) throw BenchError("the crop has the wrong size");
    int largest = 0;
    for (unsigned y = 0; y < region.height; ++y) {
        const std::size_t start = (std::size_t{region.y + y} * width + region.x) * 3;
        largest = std::max(largest, MaxDifference(whole.subspan(start, rowBytes),
                                                  crop.subspan(y * rowBytes, rowBytes)));
    }
    return largest;
}

std::string SizeText(PictureSize size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

struct Checked {
    std::vector<PictureSize> sizes;  // indexed as kKinds
    std::string differences;         // how far the pixels differ where they should agree
};

// Decodes once each way and checks the sizes against one another.
Checked CheckDecoders(std::span<const std::unique_ptr<SizedDecoder>> decoders) {
    std::vector<PictureSize> sizes;
    for (const auto& decoder : decoders) sizes.push_back(decoder->Decode());
    const PictureSize full = sizes[kTesseraFull];
    const PictureSize eighth{(full.width + 7) / 8, (full.height + 7) / 8};
    const Tessera::Region& region = decoders[kTesseraCrop]->Region();
    const PictureSize crop{static_cast<int>(region.width), static_cast<int>(region.height)};
    const PictureSize expected[] = {{}, full, eighth, crop, full, eighth};
    for (std::size_t which = 1; which < sizes.size(); ++which) {
        if (sizes[which] != expected[which])
            throw BenchError(Format("%s decodes %s, not %s", kKinds[which].name,
                                    SizeText(sizes[which]).c_str(),
                                    SizeText(expected[which]).c_str()));
    }
    const std::string differences =
        Format("tessera-turbo full=%d 1/8=%d; tessera crop against the whole decode's rectangle=%d",
               MaxDifference(decoders[kTesseraFull]->Pixels(), decoders[kTurboFull]->Pixels()),
               MaxDifference(decoders[kTesseraEighth]->Pixels(), decoders[kTurboEighth]->Pixels()),
               CropDifference(decoders[kTesseraFull]->Pixels(), full.width,
                              decoders[kTesseraCrop]->Pixels(), region));
    return {sizes, differences};
}

std::string RatioText(double ratio, std::optional<double> goal) {
    if (!goal) return Format("%.2f", ratio);
    return Format("%.2f %s (goal >= %.0f)", ratio, ratio >= *goal ? "met" : "MISSED", *goal);
}

void MeasureTimes(const fs::path& jpeg, std::span<const std::uint8_t> file,
                  const SizedSettings& settings) {
    // Indexed as kKinds, each way of output.
    std::vector<std::unique_ptr<SizedDecoder>> fresh, reused;
    for (const KindInfo& kind : kKinds) {
        fresh.push_back(std::make_unique<SizedDecoder>(kind.kind, file, Output::New));
        reused.push_back(std::make_unique<SizedDecoder>(kind.kind, file, Output::Reused));
    }
    const Checked checked = CheckDecoders(fresh);
    const std::vector<PictureSize>& sizes = checked.sizes;
    for (std::size_t which = 1; which < reused.size(); ++which) {
        reused[which]->Decode();
        if (MaxDifference(reused[which]->Pixels(), fresh[which]->Pixels()) != 0)
            throw BenchError(std::string(kKinds[which].name) +
                             ": the reused buffer's pixels differ from the new buffer's");
    }
    std::cout << Format(
                     "sized  %s %s jpeg=%.1fMB, in process: tessera = DecodeJpeg into a new RGB "
                     "Image (new) or a JpegReader reading RGB rows into one buffer (reused); "
                     "turbo = tjDecompress2 (TJPF_RGB, its defaults) into a new tjAlloc buffer "
                     "(new) or one buffer (reused); crop = the middle quarter of the area (a "
                     "centred Region); goals judged on each figure\n",
                     jpeg.filename().c_str(), SizeText(sizes[kTesseraFull]).c_str(),
                     static_cast<double>(file.size()) / 1e6)
              << "sized  pixels max-difference: " << checked.differences << '\n'
              << std::flush;

    std::vector<std::function<void()>> tasks;
    for (std::size_t which = 1; which < std::size(kKinds); ++which) {
        tasks.push_back([&decoder = *fresh[which]] { decoder.Decode(); });
        tasks.push_back([&decoder = *reused[which]] { decoder.Decode(); });
    }
    const auto seconds = TimeInTurns(tasks, settings.count);
    // Indexed as kKinds.
    std::vector<double> medianNew{0}, medianReused{0};
    for (std::size_t task = 0; task < seconds.size(); task += 2) {
        medianNew.push_back(*Median(seconds[task]));
        medianReused.push_back(*Median(seconds[task + 1]));
    }

    for (std::size_t which = 1; which < std::size(kKinds); ++which) {
        const KindInfo& kind = kKinds[which];
        std::string line = Format("sized  %-7s %-4s %11s  new %9.3f ms  reused %9.3f ms",
                                  kind.decoder, kind.size, SizeText(sizes[which]).c_str(),
                                  medianNew[which] * 1e3, medianReused[which] * 1e3);
        const std::size_t full = IsTurbo(kind.kind) ? kTurboFull : kTesseraFull;
        std::optional<double> goal;
        if (which == kTesseraEighth) goal = kEighthSpeedGoal;
        if (which == kTesseraCrop) goal = kCropSpeedGoal;
        if (which != full)
            line += Format("  full/%s: new ", kind.size) +
                    RatioText(medianNew[full] / medianNew[which], goal) + ", reused " +
                    RatioText(medianReused[full] / medianReused[which], goal);
        std::cout << line << '\n';
    }
    std::cout << Format(
                     "sized  runs: %zu of each, taking turns. tessera's speed over turbo's "
                     "(turbo's time over tessera's; above 1: tessera is faster): full new=%.2f "
                     "reused=%.2f, 1/8 new=%.2f reused=%.2f\n",
                     seconds[0].size(), medianNew[kTurboFull] / medianNew[kTesseraFull],
                     medianReused[kTurboFull] / medianReused[kTesseraFull],
                     medianNew[kTurboEighth] / medianNew[kTesseraEighth],
                     medianReused[kTurboEighth] / medianReused[kTesseraEighth])
              << std::flush;
}

void MeasureMemory(const fs::path& jpeg, const SizedSettings& settings) {
    if (access("/usr/bin/time", X_OK) != 0) {
        if (!settings.quick) throw BenchError("/usr/bin/time is missing (Debian package time)");
        std::cout << "sized-memory: skipped, /usr/bin/time is missing (Debian package time)\n";
        return;
    }
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) throw BenchError("cannot find this program: " + error.message());
    std::vector<std::vector<std::string>> commands;
    for (const KindInfo& kind : kKinds)
        commands.push_back(
            {self.string(), std::string(kDecodeOnceCommand), kind.name, jpeg.string()});
    const std::vector<ProcessCost> costs =
        MeasureProcesses(commands, settings.freshRuns, settings.directory);

    std::cout << "sized-memory: a fresh process per decode (tessera-bench --decode-once KIND "
                 "FILE), the median of "
              << settings.freshRuns
              << " run(s) under /usr/bin/time (MB = 10^6 bytes). peak = the whole process's "
                 "maximum resident set (program, libraries, the file read and the decode); "
                 "decode = peak minus read-only's, the same process reading the file and "
                 "not decoding: the decode's own share\n";
    const double readOnly = costs[kReadOnly].peakMegabytes;
    std::cout << Format("sized-memory %-12s peak=%7.1fMB\n", "read-only", readOnly);
    for (std::size_t which = 1; which < std::size(kKinds); ++which) {
        const KindInfo& kind = kKinds[which];
        const double peak = costs[which].peakMegabytes;
        const double decode = peak - readOnly;
        std::string line = Format("sized-memory %-7s %-4s peak=%7.1fMB decode=%7.1fMB",
                                  kind.decoder, kind.size, peak, decode);
        const std::size_t full = IsTurbo(kind.kind) ? kTurboFull : kTesseraFull;
        if (which != full) {
            const double fullPeak = costs[full].peakMegabytes;
            const double peakRatio = peak / fullPeak, decodeRatio = decode / (fullPeak - readOnly);
            line += Format("  over full: peak=%.3f decode=%.3f", peakRatio, decodeRatio);
            if (which == kTesseraEighth)
                line += Format(" (goal < %.2f: peak %s, decode %s)", kEighthMemoryGoal,
                               peakRatio < kEighthMemoryGoal ? "met" : "MISSED",
                               decodeRatio < kEighthMemoryGoal ? "met" : "MISSED");
        }
        std::cout << line << '\n';
    }
    std::cout.flush();
}

}  // namespace

bool CompareSizedDecodes(const SizedSettings& settings) {
    const int width = settings.quick ? kQuickWidth : kLargeWidth;
    const int height = settings.quick ? kQuickHeight : kLargeHeight;
    const std::string name =
        settings.quick ? "photo-vga-sized-baseline-420.jpg" : "photo-18mp-baseline-420.jpg";
    if (name.find(settings.filter) == std::string::npos) return false;
    const fs::path source = WriteSourcePicture(settings.directory, settings.photo, width, height);
    const fs::path jpeg = settings.directory / name;
    EncodeWithCjpeg(kBaselineOptions, source, jpeg);
    const std::vector<std::uint8_t> file = ReadFile(jpeg);
    MeasureTimes(jpeg, file, settings);
    MeasureMemory(jpeg, settings);
    return true;
}

int DecodeOnce(std::span<const std::string_view> arguments) {
    if (arguments.size() != 2) {
        std::cerr << "usage: tessera-bench " << kDecodeOnceCommand << " KIND FILE\n";
        return 2;
    }
    const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                   [&](const KindInfo& info) { return arguments[0] == info.name; });
    if (kind == std::end(kKinds)) {
        std::cerr << "tessera-bench: unknown kind of decode '" << arguments[0] << "'\n";
        return 2;
    }
    try {
        const std::vector<std::uint8_t> file = ReadFile(fs::path(arguments[1]));
        // Everything from here counts as the decode's, the decoder's set-up too.
        SizedDecoder decoder(kind->kind, file);
        std::cout << SizeText(decoder.Decode()) << '\n';
    } catch (const std::exception& error) {
        std::cerr << "tessera-bench: " << error.what() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace TesseraBench
