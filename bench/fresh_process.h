#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace TesseraBench {

// What one run of a program costs, as /usr/bin/time reports it.
struct ProcessCost {
    double cpuSeconds = 0;     // user + system
    double wallSeconds = 0;    // elapsed
    double peakMegabytes = 0;  // maximum resident set size, MB = 10^6 bytes
};

// Runs each command `runs` times, each run a fresh process under
// /usr/bin/time, the commands taking turns (each round starting with the
// next) so that noise on the machine hits them alike; returns each one's
// medians. Throws BenchError when a run fails.
std::vector<ProcessCost> MeasureProcesses(const std::vector<std::vector<std::string>>& commands,
                                          int runs, const std::filesystem::path& scratch);

struct FreshSettings {
    std::filesystem::path directory;  // where the files are made and decoded
    std::filesystem::path photo;      // the source photo; empty: a generated picture
    std::filesystem::path decoder;    // tessera-decode
    int runs = 5;
    std::string filter;
};

// tessera-decode with one thread and with one per core against djpeg (both
// with their default pixels, the same bytes) on 18-megapixel baseline,
// progressive and restart-marked photos, a fresh process per file and run
// writing PPM; prints the costs and ratios per file and returns how many
// files it compared.
std::size_t CompareFreshProcesses(const FreshSettings& settings);

}  // namespace TesseraBench
