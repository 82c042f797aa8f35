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
#include <vector>

#include "bench_corpus.h"
#include "bench_error.h"
#include "bench_options.h"
#include "bench_statistics.h"
#include "fresh_process.h"
#include "peer_decoders.h"
#include "resident_memory.h"
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

// Tessera and its two peers, in the order of the report.
struct Decoders {
    explicit Decoders(Tessera::SimdLevel level) : tessera(level) {}
    TesseraDecoder tessera;
    TurboDecoder turbo;
    StbDecoder stb;

    std::array<PeerDecoder*, 3> All() { return {&tessera, &turbo, &stb}; }
};
constexpr std::size_t kTessera = 0;
constexpr std::size_t kPeers[] = {1, 2};  // turbo and stb: what Tessera's ratios are against

// What the check of a file before timing found.
struct FileFacts {
    PictureSize size;
    int maxDifference = 0;  // the largest difference of a blue, green or red byte, Tessera - turbo
    std::size_t peakBytes = 0;
};

int MaxChannelDifference(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    int largest = 0;
    for (std::size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
        for (std::size_t channel = 0; channel < 3; ++channel)  // the fourth byte is unused
            largest = std::max(largest, std::abs(a[i + channel] - b[i + channel]));
    }
    return largest;
}

// Resident bytes that one decode by a fresh decoder into a fresh picture (so
// that the picture counts) adds at its peak; 0 when the system cannot say.
std::size_t TesseraPeakBytes(std::span<const std::uint8_t> file, Tessera::SimdLevel level) {
    TesseraDecoder fresh(level);
    // Free memory that the heap still holds would be used again without
    // showing up as resident memory; hand it back to the system first.
    malloc_trim(0);
    const auto before = ResidentMemory::CurrentBytes();
    if (!before || !ResidentMemory::ResetPeak()) return 0;
    fresh.Decode(file);
    const auto peak = ResidentMemory::PeakBytes();
    return peak && *peak > *before ? *peak - *before : 0;
}

// Decodes the file once with each decoder (which also warms them up) and
// checks that all succeed with pictures of one size.
FileFacts CheckFile(Decoders& decoders, const CorpusFile& file, Tessera::SimdLevel level) {
    FileFacts facts;
    for (PeerDecoder* decoder : decoders.All()) {
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
    facts.maxDifference =
        MaxChannelDifference(decoders.tessera.LastBgrxPixels(), decoders.turbo.LastBgrxPixels());
    facts.peakBytes = TesseraPeakBytes(file.bytes, level);
    return facts;
}

TurnCount CountFor(std::optional<int> fixedRuns) {
    return {fixedRuns, kMinimumRuns, kMinimumSecondsPerDecoder};
}

// The seconds of every run of every decoder (indexed as Decoders::All), the
// decoders taking turns.
std::vector<std::vector<double>> TimeDecoders(Decoders& decoders, const CorpusFile& file,
                                              std::optional<int> fixedRuns) {
    std::vector<std::function<void()>> tasks;
    for (PeerDecoder* decoder : decoders.All())
        tasks.push_back([decoder, &file] { decoder->Decode(file.bytes); });
    return TimeInTurns(tasks, CountFor(fixedRuns));
}

std::string RatioText(std::span<const double> ratios) {
    const std::optional<double> mean = GeometricMean(ratios);
    return mean ? Format("%.2f", *mean) : "n/a";
}

// Tessera's throughput over each peer's, per class of file and peer.
using Ratios = std::map<std::pair<FileClass, std::size_t>, std::vector<double>>;

void PrintSummary(const Ratios& ratios) {
    auto text = [&](FileClass fileClass, std::size_t peer) {
        const auto found = ratios.find({fileClass, peer});
        return found == ratios.end() ? std::string("n/a") : RatioText(found->second);
    };
    for (const FileClass fileClass : kFileClasses) {
        if (fileClass == FileClass::Baseline || fileClass == FileClass::Progressive) continue;
        std::cout << "class " << ClassName(fileClass) << " turbo=" << text(fileClass, kPeers[0])
                  << " stb=" << text(fileClass, kPeers[1]) << '\n';
    }
    std::cout << "ratio turbo baseline=" << text(FileClass::Baseline, kPeers[0])
              << " progressive=" << text(FileClass::Progressive, kPeers[0])
              << " stb baseline=" << text(FileClass::Baseline, kPeers[1])
              << " progressive=" << text(FileClass::Progressive, kPeers[1]) << std::endl;
}

std::optional<int> FixedRuns(const BenchOptions& options) {
    if (options.runs) return options.runs;
    if (options.quick) return kQuickRuns;
    return std::nullopt;
}

void PrintFacts(const CorpusFile& file, const FileFacts& facts, int nameWidth) {
    const std::string className(ClassName(file.fileClass));
    const std::size_t output = static_cast<std::size_t>(facts.size.width) * facts.size.height * 4;
    std::cout << Format("file   %-*s %-11s %5dx%-5d jpeg=%.1fKB max-difference-tessera-turbo=%d\n",
                        nameWidth, file.name.c_str(), className.c_str(), facts.size.width,
                        facts.size.height, static_cast<double>(file.bytes.size()) / 1e3,
                        facts.maxDifference)
              << Format("memory %-*s peak=%.1fMB output=%.1fMB ratio=%.2f\n", nameWidth,
                        file.name.c_str(), Megabytes(facts.peakBytes), Megabytes(output),
                        static_cast<double>(facts.peakBytes) / static_cast<double>(output))
              << std::flush;
}

// Times the decoders on the file, prints a line for each and returns their
// megapixels per second (indexed as Decoders::All).
std::vector<double> MeasureThroughput(Decoders& decoders, const CorpusFile& file,
                                      const FileFacts& facts, std::optional<int> fixedRuns,
                                      int nameWidth) {
    const double megapixels = static_cast<double>(facts.size.width) * facts.size.height / 1e6;
    const auto seconds = TimeDecoders(decoders, file, fixedRuns);
    std::vector<double> throughput;
    for (std::size_t which = 0; which < seconds.size(); ++which) {
        const double median = *Median(seconds[which]);
        throughput.push_back(megapixels / median);
        std::cout << Format("decode %-*s %-7s %8.2f MP/s  median %9.3f ms of %zu runs\n", nameWidth,
                            file.name.c_str(), decoders.All()[which]->Name(), throughput.back(),
                            median * 1e3, seconds[which].size());
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
    std::size_t freshFiles = 0;
    if (!options.quick) {
        FreshSettings fresh;
        fresh.directory = directory.Path();
        if (!corpus.photos.empty()) fresh.photo = corpus.photos / "photo-2500x1786.jpg";
        if (!fs::exists(fresh.photo)) fresh.photo.clear();
        fresh.decoder = TESSERA_DECODE_PATH;
        fresh.runs = options.runs.value_or(kFreshRuns);
        fresh.filter = options.filter;
        freshFiles = CompareFreshProcesses(fresh);
    }
    if (corpus.files.empty()) {
        if (freshFiles == 0) throw BenchError("no file name contains '" + options.filter + "'");
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
    for (std::size_t i = 0; i < corpus.files.size(); ++i) {
        const CorpusFile& file = corpus.files[i];
        const std::vector<double> throughput =
            MeasureThroughput(decoders, file, facts[i], fixedRuns, static_cast<int>(nameWidth));
        for (const std::size_t peer : kPeers)
            ratios[{file.fileClass, peer}].push_back(throughput[kTessera] / throughput[peer]);
    }
    PrintSummary(ratios);
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
