#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace TesseraBench {

// What one run of a program costs, as /usr/bin/time reports it.
struct ProcessCost {
    double cpuSeconds = 0;     // user + system
    double peakMegabytes = 0;  // maximum resident set size, MB = 10^6 bytes
};

// Runs each command `runs` times, each run a fresh process under
// /usr/bin/time, the commands taking turns (each round starting with the
// next) so that noise on the machine hits them alike; returns each one's
// medians. Throws BenchError when a run fails.
std::vector<ProcessCost> MeasureProcesses(const std::vector<std::vector<std::string>>& commands,
                                          int runs, const std::filesystem::path& scratch);

// 5184 × 3456: an 18-megapixel camera's 3:2 frame, the size of the photos
// that the fresh-process comparisons decode.
inline constexpr int kFreshWidth = 5184;
inline constexpr int kFreshHeight = 3456;
// cjpeg's options for the baseline files of the comparisons.
inline constexpr char kBaselineCjpegOptions[] = "-quality 90 -sample 2x2";

// Writes a width × height picture fitted from the photo (generated, when the
// photo is empty) as PPM in the directory, unless an earlier call has, and
// returns its path. Throws BenchError when it cannot.
std::filesystem::path WriteSourcePicture(const std::filesystem::path& directory,
                                         const std::filesystem::path& photo, int width, int height);

struct FreshSettings {
    std::filesystem::path directory;  // where the files are made and decoded
    std::filesystem::path photo;      // the source photo; empty: a generated picture
    std::filesystem::path decoder;    // tessera-decode
    int runs = 5;
    std::string filter;
};

// tessera-decode against djpeg (both with their defaults, which give the
// same pixels) on 18-megapixel baseline and progressive photos, a fresh
// process per file and decoder writing PPM; prints a line per file and
// returns how many files it compared.
std::size_t CompareFreshProcesses(const FreshSettings& settings);

}  // namespace TesseraBench
