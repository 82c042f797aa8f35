#include "fresh_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <thread>

#include "bench_corpus.h"
#include "bench_error.h"
#include "bench_statistics.h"
#include "source_pictures.h"
#include "text_format.h"

namespace TesseraBench {

namespace fs = std::filesystem;

namespace {

struct FreshFile {
    const char* name;
    const char* cjpegOptions;
    bool peakGoal;  // tessera-decode on one thread is held to kOneThreadPeakGoal
};
// The corpus's large files (in the photos' names: with photos they are the
// very same files).
constexpr FreshFile kFiles[] = {
    {"photo-18mp-baseline-420.jpg", kBaselineOptions, true},
    {"photo-18mp-progressive-420.jpg", kProgressiveOptions, false},
    {"photo-18mp-restarts-420.jpg", kRestartsOptions, false},
};
// MB: a baseline picture is decoded a row of MCUs at a time, whatever its size.
constexpr double kOneThreadPeakGoal = 16;

// Appends a space and the text quoted for the shell. (Built by appending:
// GCC 12 warns falsely about "literal" + std::string under -O3.)
void AppendQuoted(std::string& line, const std::string& text) {
    line += " '";
    for (const char c : text) {
        if (c == '\'')
            line += "'\\''";
        else
            line += c;
    }
    line += '\'';
}

std::string CostText(const ProcessCost& cost) {
    return Format("cpu=%.3fs wall=%.3fs peak=%.1fMB", cost.cpuSeconds, cost.wallSeconds,
                  cost.peakMegabytes);
}

// b over a (a cost of 0, below the measure's grain, counts as 1 ms or 1 kB).
std::string RatioText(double a, double b) {
    return Format("%.2f", b / std::max(a, 1e-3));
}

}  // namespace

namespace {

// One run of the command under /usr/bin/time.
ProcessCost RunOnce(const std::vector<std::string>& command, const fs::path& scratch) {
    const fs::path report = scratch / "time.txt";
    std::string line = "/usr/bin/time -f '%e %U %S %M' -o";
    AppendQuoted(line, report.string());
    for (const std::string& word : command) AppendQuoted(line, word);
    line += " >/dev/null 2>&1";
    const int status = std::system(line.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw BenchError("failed:" + line);
    std::ifstream in(report);
    double wall = 0, user = 0, system = 0, kilobytes = 0;
    if (!(in >> wall >> user >> system >> kilobytes))
        throw BenchError("no report from /usr/bin/time");
    return {user + system, wall, kilobytes * 1024 / 1e6};
}

}  // namespace

std::vector<ProcessCost> MeasureProcesses(const std::vector<std::vector<std::string>>& commands,
                                          int runs, const fs::path& scratch) {
    std::vector<std::vector<double>> cpu(commands.size()), wall(commands.size()),
        peak(commands.size());
    for (int run = 0; run < runs; ++run) {
        for (std::size_t turn = 0; turn < commands.size(); ++turn) {
            const std::size_t which = (static_cast<std::size_t>(run) + turn) % commands.size();
            const ProcessCost cost = RunOnce(commands[which], scratch);
            cpu[which].push_back(cost.cpuSeconds);
            wall[which].push_back(cost.wallSeconds);
            peak[which].push_back(cost.peakMegabytes);
        }
    }
    std::vector<ProcessCost> medians;
    for (std::size_t which = 0; which < commands.size(); ++which)
        medians.push_back({*Median(cpu[which]), *Median(wall[which]), *Median(peak[which])});
    return medians;
}

std::size_t CompareFreshProcesses(const FreshSettings& settings) {
    if (access("/usr/bin/time", X_OK) != 0)
        throw BenchError("/usr/bin/time is missing (Debian package time)");
    std::vector<const FreshFile*> files;
    for (const FreshFile& file : kFiles)
        if (std::string(file.name).find(settings.filter) != std::string::npos)
            files.push_back(&file);
    if (files.empty()) return 0;
    const fs::path source =
        WriteSourcePicture(settings.directory, settings.photo, kLargeWidth, kLargeHeight);
    const fs::path output = settings.directory / "fresh-output.ppm";
    const std::string cores = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
    std::cout << "fresh-process runs: " << settings.runs
              << " per file and program, taking turns (medians; tessera-decode --threads N FILE "
                 "OUT.ppm with N = 1 and N = "
              << cores
              << " (every core), djpeg -outfile OUT.ppm FILE: the same pixels; cpu = user + "
                 "system, wall = elapsed, peak = maximum resident set, MB = 10^6 bytes)\n";
    for (const FreshFile* file : files) {
        const fs::path jpeg = settings.directory / file->name;
        EncodeWithCjpeg(file->cjpegOptions, source, jpeg);
        const std::vector<ProcessCost> costs = MeasureProcesses(
            {{settings.decoder.string(), "--threads", "1", jpeg.string(), output.string()},
             {settings.decoder.string(), "--threads", cores, jpeg.string(), output.string()},
             {"djpeg", "-outfile", output.string(), jpeg.string()}},
            settings.runs, settings.directory);
        const ProcessCost& one = costs[0];
        const ProcessCost& every = costs[1];
        const ProcessCost& djpeg = costs[2];
        const std::string start = "fresh " + std::string(file->name) + ' ' +
                                  std::to_string(kLargeWidth) + 'x' + std::to_string(kLargeHeight) +
                                  ' ';
        const std::string goal =
            file->peakGoal ? Format(" (goal < %.0fMB: %s)", kOneThreadPeakGoal,
                                    one.peakMegabytes < kOneThreadPeakGoal ? "met" : "MISSED")
                           : "";
        const std::string manyThreads = "threads=" + cores;
        std::cout << start << "tessera-decode threads=1 " << CostText(one) << goal << '\n'
                  << start << "tessera-decode " << manyThreads << ' ' << CostText(every) << '\n'
                  << start << "djpeg " << CostText(djpeg) << '\n'
                  << start << "djpeg over tessera-decode (above 1: tessera-decode is faster): cpu "
                  << "threads=1 " << RatioText(one.cpuSeconds, djpeg.cpuSeconds) << ' '
                  << manyThreads << ' ' << RatioText(every.cpuSeconds, djpeg.cpuSeconds)
                  << ", wall threads=1 " << RatioText(one.wallSeconds, djpeg.wallSeconds) << ' '
                  << manyThreads << ' ' << RatioText(every.wallSeconds, djpeg.wallSeconds)
                  << "; tessera-decode's peak over djpeg's: threads=1 "
                  << RatioText(djpeg.peakMegabytes, one.peakMegabytes) << ' ' << manyThreads << ' '
                  << RatioText(djpeg.peakMegabytes, every.peakMegabytes) << std::endl;
    }
    std::error_code ignored;
    fs::remove(output, ignored);
    return files.size();
}

}  // namespace TesseraBench
