// tessera-bench: Tessera's decoding speed against libjpeg-turbo and stb_image
// on a corpus made at start, and Tessera's peak memory per decode.
// tessera-bench --help tells the options and the report's lines.
#include <malloc.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "bench_corpus.h"
#include "bench_error.h"
#include "bench_options.h"
#include "bench_statistics.h"
#include "fresh_process.h"
#include "image/zeroed_memory.h"
#include "peer_decoders.h"
#include "resident_memory.h"
#include "sized_decodes.h"
#include "source_pictures.h"
#include "text_format.h"
#include "turn_timing.h"

namespace TesseraBench {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSkip = 77;  // what CTest's SKIP_RETURN_CODE expects

// Without --runs: at least this many repetitions per file, and enough for
// every decoder to spend at least this long on the file.
constexpr int kMinimumRuns = 5;
constexpr double kMinimumSecondsPerDecoder = 0.5;
constexpr int kQuickRuns = 3;
// Runs of each program on each file in the fresh-process comparison.
constexpr int kFreshRuns = 11;

namespace fs = std::filesystem;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Megabytes(std::size_t bytes) {
    return static_cast<double>(bytes) / 1e6;
}

// The decoders of the report, in its order, and how they are compared.
// Native: Tessera's own decoder in its native order (BGRA) against TurboJPEG
// in the same order with repeated chroma, and stb_image (RGBA). Default
// pixels: the library's public interface with its defaults, in RGB, against
// TurboJPEG's defaults and stb_image, both in RGB; the same interface on two
// threads against TurboJPEG's defaults (on one), and two one-thread decodes
// at once, per picture, against the same (what the two threads could reach
// at most on this machine). Exact pixels: the public interface with
// Pixels::Exact, in RGB, against TurboJPEG in RGB with repeated chroma.
struct Decoders {
    explicit Decoders(Tessera::SimdLevel level) : tessera(level) {}
    TesseraDecoder tessera;
    TurboDecoder turbo;
    StbDecoder stb;
    TesseraRgbDecoder tesseraRgb;
    TurboDecoder turboRgb{TurboPixels::DefaultRgb};
    StbDecoder stbRgb{3};
    TesseraRgbDecoder tesseraRgbTwoThreads{Tessera::Pixels::Smooth, 2};
    TwoAtOnceDecoder tesseraRgbTwoAtOnce{std::make_unique<TesseraRgbDecoder>(),
                                         std::make_unique<TesseraRgbDecoder>()};
    TesseraRgbDecoder tesseraExact{Tessera::Pixels::Exact};
    TurboDecoder turboFast{TurboPixels::FastRgb};
};

enum class Pairing { Native, DefaultPixels, DefaultTwoThreads, DefaultTwoAtOnce, ExactPixels };

// Tessera's throughput over a peer's.
struct Comparison {
    Pairing pairing;
    const PeerDecoder* tessera;
    const PeerDecoder* peer;
};

// The files that the default pixels are also decoded on two threads.
bool ComparesTwoThreads(FileClass fileClass) {
    return fileClass == FileClass::Baseline || fileClass == FileClass::Restarts ||
           fileClass == FileClass::Progressive;
}

// The decoders that run on a file of the class, and what is compared.
struct Lineup {
    std::vector<PeerDecoder*> decoders;
    std::vector<Comparison> comparisons;
};

Lineup LineupFor(Decoders& d, FileClass fileClass) {
    Lineup lineup{{&d.tessera, &d.turbo, &d.stb, &d.tesseraRgb, &d.turboRgb, &d.stbRgb,
                   &d.tesseraExact, &d.turboFast},
                  {{Pairing::Native, &d.tessera, &d.turbo},
                   {Pairing::Native, &d.tessera, &d.stb},
                   {Pairing::DefaultPixels, &d.tesseraRgb, &d.turboRgb},
                   {Pairing::DefaultPixels, &d.tesseraRgb, &d.stbRgb},
                   {Pairing::ExactPixels, &d.tesseraExact, &d.turboFast}}};
    if (ComparesTwoThreads(fileClass)) {
        lineup.decoders.push_back(&d.tesseraRgbTwoThreads);
        lineup.decoders.push_back(&d.tesseraRgbTwoAtOnce);
        lineup.comparisons.push_back(
            {Pairing::DefaultTwoThreads, &d.tesseraRgbTwoThreads, &d.turboRgb});
        lineup.comparisons.push_back(
            {Pairing::DefaultTwoAtOnce, &d.tesseraRgbTwoAtOnce, &d.turboRgb});
    }
    return lineup;
}

// What the check of a file before timing found: the largest difference of a
// red, green or blue byte between Tessera and TurboJPEG in each pairing.
struct FileFacts {
    PictureSize size;
    int nativeDifference = 0;   // tessera - turbo
    int defaultDifference = 0;  // tessera-rgb - turbo-rgb
    int exactDifference = 0;    // tessera-exact - turbo-fast
    std::size_t peakBytes = 0;
};

// The largest difference of the first three bytes of each pixel (a fourth,
// where there is one, is unused).
int MaxChannelDifference(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                         std::size_t bytesPerPixel) {
    int largest = 0;
    for (std::size_t i = 0; i + bytesPerPixel <= a.size() && i + bytesPerPixel <= b.size();
         i += bytesPerPixel) {
        for (std::size_t channel = 0; channel < 3; ++channel)
            largest = std::max(largest, std::abs(a[i + channel] - b[i + channel]));
    }
    return largest;
}

// Resident bytes that one decode by a fresh decoder into a fresh picture (so
// that the picture counts) adds at its peak; 0 when the system cannot say.
std::size_t TesseraPeakBytes(std::span<const std::uint8_t> file, Tessera::SimdLevel level) {
    TesseraDecoder fresh(level);
    // Free memory that the heap or the decoder's allocator still holds would
    // be used again without showing up as resident memory; hand it back to
    // the system first.
    malloc_trim(0);
    Tessera::ReleaseKeptBlocks();
    const auto before = ResidentMemory::CurrentBytes();
    if (!before || !ResidentMemory::ResetPeak()) return 0;
    fresh.Decode(file);
    const auto peak = ResidentMemory::PeakBytes();
    return peak && *peak > *before ? *peak - *before : 0;
}

// Decodes the file once with each decoder (which also warms them up) and
// checks that all succeed with pictures of one size, and that two threads
// give the bytes of one.
FileFacts CheckFile(Decoders& decoders, const CorpusFile& file, Tessera::SimdLevel level) {
    FileFacts facts;
    for (PeerDecoder* decoder : LineupFor(decoders, file.fileClass).decoders) {
        PictureSize size;
        try {
            size = decoder->Decode(file.bytes);
        } catch (const BenchError& error) {
            throw BenchError(file.name + ": " + decoder->Name() + " failed: " + error.what());
        }
        if (decoder == &decoders.tessera) facts.size = size;
        if (size != facts.size)
            throw BenchError(Format("%s: %s decodes %dx%d, tessera %dx%d", file.name.c_str(),
                                    decoder->Name(), size.width, size.height, facts.size.width,
                                    facts.size.height));
    }
    if (ComparesTwoThreads(file.fileClass)) {
        const auto one = decoders.tesseraRgb.LastRgbPixels();
        const auto two = decoders.tesseraRgbTwoThreads.LastRgbPixels();
        if (!std::equal(one.begin(), one.end(), two.begin(), two.end()))
            throw BenchError(file.name + ": " + decoders.tesseraRgbTwoThreads.Name() +
                             " gives other pixels than " + decoders.tesseraRgb.Name());
    }
    facts.nativeDifference =
        MaxChannelDifference(decoders.tessera.LastBgrxPixels(), decoders.turbo.LastBgrxPixels(), 4);
    facts.defaultDifference = MaxChannelDifference(decoders.tesseraRgb.LastRgbPixels(),
                                                   decoders.turboRgb.LastRgbPixels(), 3);
    facts.exactDifference = MaxChannelDifference(decoders.tesseraExact.LastRgbPixels(),
                                                 decoders.turboFast.LastRgbPixels(), 3);
    facts.peakBytes = TesseraPeakBytes(file.bytes, level);
    return facts;
}

TurnCount CountFor(std::optional<int> fixedRuns) {
    return {fixedRuns, kMinimumRuns, kMinimumSecondsPerDecoder};
}

// The seconds of every run of each decoder, the decoders taking turns.
std::vector<std::vector<double>> TimeDecoders(std::span<PeerDecoder* const> decoders,
                                              const CorpusFile& file,
                                              std::optional<int> fixedRuns) {
    std::vector<std::function<void()>> tasks;
    for (PeerDecoder* decoder : decoders)
        tasks.push_back([decoder, &file] { decoder->Decode(file.bytes); });
    return TimeInTurns(tasks, CountFor(fixedRuns));
}

std::string RatioText(std::span<const double> ratios) {
    const std::optional<double> mean = GeometricMean(ratios);
    return mean ? Format("%.2f", *mean) : "n/a";
}

// Tessera's throughput over each peer's, per pairing, class of file and peer.
using Ratios = std::map<std::tuple<Pairing, FileClass, const PeerDecoder*>, std::vector<double>>;

// The default pixels' ratios to TurboJPEG's defaults, on one thread, on two,
// and of two one-thread decodes at once, of the large (18-megapixel)
// pictures of a class.
struct LargeFigures {
    std::vector<double> oneThread, twoThreads, twoAtOnce;
};
using Large = std::map<FileClass, LargeFigures>;

void PrintSummary(const Ratios& ratios, const Large& large, const Decoders& d) {
    auto text = [&](Pairing pairing, FileClass fileClass, const PeerDecoder& peer) {
        const auto found = ratios.find({pairing, fileClass, &peer});
        return found == ratios.end() ? std::string("n/a") : RatioText(found->second);
    };
    const struct {
        Pairing pairing;
        const char* name;
        const PeerDecoder* turbo;
        const PeerDecoder* stb;  // null: not compared
    } pairings[] = {
        {Pairing::Native, "native", &d.turbo, &d.stb},
        {Pairing::DefaultPixels, "default", &d.turboRgb, &d.stbRgb},
        {Pairing::ExactPixels, "exact", &d.turboFast, nullptr},
        {Pairing::DefaultTwoThreads, "default threads=2", &d.turboRgb, nullptr},
        {Pairing::DefaultTwoAtOnce, "default two-at-once", &d.turboRgb, nullptr},
    };
    for (const auto& pairing : pairings) {
        for (const FileClass fileClass : kFileClasses) {
            const bool twoCores = pairing.pairing == Pairing::DefaultTwoThreads ||
                                  pairing.pairing == Pairing::DefaultTwoAtOnce;
            if (twoCores && !ComparesTwoThreads(fileClass)) continue;
            std::cout << Format("pairing %s class %-11s turbo=", pairing.name,
                                std::string(ClassName(fileClass)).c_str())
                      << text(pairing.pairing, fileClass, *pairing.turbo);
            if (pairing.stb != nullptr)
                std::cout << " stb=" << text(pairing.pairing, fileClass, *pairing.stb);
            std::cout << '\n';
        }
    }
    for (const FileClass fileClass : {FileClass::Baseline, FileClass::Restarts}) {
        const auto found = large.find(fileClass);
        const LargeFigures figures = found == large.end() ? LargeFigures{} : found->second;
        std::cout << ClassName(fileClass)
                  << "-18mp default threads=1 turbo=" << RatioText(figures.oneThread)
                  << " threads=2 turbo=" << RatioText(figures.twoThreads)
                  << " two-at-once turbo=" << RatioText(figures.twoAtOnce) << '\n';
    }
    auto baselineAndProgressive = [&](Pairing pairing, const PeerDecoder& turboPeer,
                                      const PeerDecoder& stbPeer) {
        return "turbo baseline=" + text(pairing, FileClass::Baseline, turboPeer) +
               " progressive=" + text(pairing, FileClass::Progressive, turboPeer) +
               " stb baseline=" + text(pairing, FileClass::Baseline, stbPeer) +
               " progressive=" + text(pairing, FileClass::Progressive, stbPeer);
    };
    std::cout << "native " << baselineAndProgressive(Pairing::Native, d.turbo, d.stb) << '\n'
              << "ratio " << baselineAndProgressive(Pairing::DefaultPixels, d.turboRgb, d.stbRgb)
              << " threads=2 baseline="
              << text(Pairing::DefaultTwoThreads, FileClass::Baseline, d.turboRgb)
              << " progressive="
              << text(Pairing::DefaultTwoThreads, FileClass::Progressive, d.turboRgb) << std::endl;
}

std::optional<int> FixedRuns(const BenchOptions& options) {
    if (options.runs) return options.runs;
    if (options.quick) return kQuickRuns;
    return std::nullopt;
}

void PrintFacts(const CorpusFile& file, const FileFacts& facts, int nameWidth) {
    const std::string className(ClassName(file.fileClass));
    const std::size_t output = static_cast<std::size_t>(facts.size.width) * facts.size.height * 4;
    std::cout << Format(
                     "file   %-*s %-11s %5dx%-5d jpeg=%.1fKB max-difference tessera-turbo "
                     "native=%d default=%d exact=%d\n",
                     nameWidth, file.name.c_str(), className.c_str(), facts.size.width,
                     facts.size.height, static_cast<double>(file.bytes.size()) / 1e3,
                     facts.nativeDifference, facts.defaultDifference, facts.exactDifference)
              << Format("memory %-*s peak=%.1fMB output=%.1fMB ratio=%.2f\n", nameWidth,
                        file.name.c_str(), Megabytes(facts.peakBytes), Megabytes(output),
                        static_cast<double>(facts.peakBytes) / static_cast<double>(output))
              << std::flush;
}

// Times the decoders on the file, prints a line for each and returns their
// megapixels per second (indexed as the decoders).
std::vector<double> MeasureThroughput(std::span<PeerDecoder* const> decoders,
                                      const CorpusFile& file, const FileFacts& facts,
                                      std::optional<int> fixedRuns, int nameWidth) {
    const double megapixels = static_cast<double>(facts.size.width) * facts.size.height / 1e6;
    const auto seconds = TimeDecoders(decoders, file, fixedRuns);
    std::vector<double> throughput;
    for (std::size_t which = 0; which < seconds.size(); ++which) {
        const double median = *Median(seconds[which]);
        throughput.push_back(megapixels * decoders[which]->PicturesPerDecode() / median);
        std::cout << Format("decode %-*s %-16s %8.2f MP/s  median %9.3f ms of %zu runs\n",
                            nameWidth, file.name.c_str(), decoders[which]->Name(),
                            throughput.back(), median * 1e3, seconds[which].size());
    }
    std::cout.flush();
    return throughput;
}

int Run(const BenchOptions& options) {
    const CorpusDirectory directory(options.keepDirectory);
    const CorpusSettings settings{FindRepositoryRoot(), options.photosDirectory, directory.Path(),
                                  options.quick, options.filter};
    const Clock::time_point corpusStart = Clock::now();
    const Corpus corpus = MakeCorpus(settings);
    std::cout << "sources: " << corpus.sources << '\n'
              << Format("corpus: %zu files in %s (%s), made in %.1f s\n", corpus.files.size(),
                        directory.Path().c_str(), directory.Kept() ? "kept" : "removed at exit",
                        SecondsSince(corpusStart));
    const std::optional<int> fixedRuns = FixedRuns(options);
    if (fixedRuns)
        std::cout << "runs: " << *fixedRuns << " per file and decoder\n";
    else
        std::cout << Format("runs: at least %d per file and decoder, and %.1f s each\n",
                            kMinimumRuns, kMinimumSecondsPerDecoder);

    // Whole programs, a fresh process per file, against djpeg.
    std::size_t otherFiles = 0;  // files of the fresh-process and sized comparisons
    if (!options.quick) {
        FreshSettings fresh;
        fresh.directory = directory.Path();
        if (!corpus.photos.empty()) fresh.photo = corpus.photos / "photo-2500x1786.jpg";
        if (!fs::exists(fresh.photo)) fresh.photo.clear();
        fresh.decoder = TESSERA_DECODE_PATH;
        fresh.runs = options.runs.value_or(kFreshRuns);
        fresh.filter = options.filter;
        otherFiles = CompareFreshProcesses(fresh);
    }

    // The whole picture, 1/8 of it and a crop, through the public interface.
    SizedSettings sized;
    sized.directory = directory.Path();
    if (!corpus.photos.empty()) sized.photo = corpus.photos / "photo-2500x1786.jpg";
    if (!fs::exists(sized.photo)) sized.photo.clear();
    sized.quick = options.quick;
    sized.count = CountFor(fixedRuns);
    sized.freshRuns = options.quick ? 1 : options.runs.value_or(kFreshRuns);
    sized.filter = options.filter;
    if (CompareSizedDecodes(sized)) ++otherFiles;

    if (corpus.files.empty()) {
        if (otherFiles == 0) throw BenchError("no file name contains '" + options.filter + "'");
        return kExitSuccess;
    }

    std::size_t nameWidth = 0;
    for (const CorpusFile& file : corpus.files) nameWidth = std::max(nameWidth, file.name.size());

    // A level the processor lacks gives the best one it has.
    const Tessera::SimdLevel level =
        std::min(options.simdLevel.value_or(Tessera::BestSimdLevel()), Tessera::BestSimdLevel());
    std::cout << "tessera kernels: " << Tessera::SimdLevelName(level) << "\n";

    // Every file is checked before any is timed, so that a failure shows at once.
    Decoders decoders(level);
    std::vector<FileFacts> facts;
    for (const CorpusFile& file : corpus.files) {
        facts.push_back(CheckFile(decoders, file, level));
        PrintFacts(file, facts.back(), static_cast<int>(nameWidth));
    }

    Ratios ratios;
    Large large;
    for (std::size_t i = 0; i < corpus.files.size(); ++i) {
        const CorpusFile& file = corpus.files[i];
        const Lineup lineup = LineupFor(decoders, file.fileClass);
        const std::vector<double> throughput = MeasureThroughput(
            lineup.decoders, file, facts[i], fixedRuns, static_cast<int>(nameWidth));
        auto of = [&](const PeerDecoder* decoder) {
            const auto at = std::find(lineup.decoders.begin(), lineup.decoders.end(), decoder);
            return throughput[static_cast<std::size_t>(at - lineup.decoders.begin())];
        };
        const bool isLarge = facts[i].size == PictureSize{kLargeWidth, kLargeHeight};
        for (const Comparison& comparison : lineup.comparisons) {
            const double ratio = of(comparison.tessera) / of(comparison.peer);
            ratios[{comparison.pairing, file.fileClass, comparison.peer}].push_back(ratio);
            if (!isLarge || comparison.peer != &decoders.turboRgb) continue;
            LargeFigures& figures = large[file.fileClass];
            if (comparison.pairing == Pairing::DefaultPixels) figures.oneThread.push_back(ratio);
            if (comparison.pairing == Pairing::DefaultTwoThreads)
                figures.twoThreads.push_back(ratio);
            if (comparison.pairing == Pairing::DefaultTwoAtOnce) figures.twoAtOnce.push_back(ratio);
        }
    }
    PrintSummary(ratios, large, decoders);
    return kExitSuccess;
}

void ReportError(std::string_view message) {
    std::cerr << "tessera-bench: " << message << '\n';
}

}  // namespace
}  // namespace TesseraBench

int main(int argc, char** argv) {
    using namespace TesseraBench;
    const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (!arguments.empty() && arguments[0] == kDecodeOnceCommand)
        return DecodeOnce(std::span(arguments).subspan(1));
    BenchOptions options;
    try {
        options = ParseOptions(arguments);
    } catch (const BenchError& error) {
        ReportError(error.what());
        std::cerr << kUsage;
        return kExitUsage;
    }
    if (options.help) {
        std::cout << kUsage;
        return kExitSuccess;
    }
    // Before any decoder reads them: both libraries take their level once.
    if (options.simdLevel) {
        setenv(Tessera::kSimdLevelVariable, Tessera::SimdLevelName(*options.simdLevel), 1);
        if (*options.simdLevel == Tessera::SimdLevel::Sse2) setenv("JSIMD_FORCESSE2", "1", 1);
        if (*options.simdLevel == Tessera::SimdLevel::Portable) setenv("JSIMD_FORCENONE", "1", 1);
    }
    try {
        return Run(options);
    } catch (const CjpegMissing& error) {
        ReportError(error.what());
        return kExitSkip;
    } catch (const BenchError& error) {
        ReportError(error.what());
    } catch (const std::bad_alloc&) {
        ReportError("out of memory");
    } catch (const std::exception& error) {
        ReportError(std::string("unexpected failure: ") + error.what());
    }
    return kExitFailure;
}
