#include "fresh_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>

#include "bench_corpus.h"
#include "bench_error.h"
#include "bench_statistics.h"
#include "source_pictures.h"

namespace TesseraBench {

namespace fs = std::filesystem;

namespace {

struct FreshFile {
    const char* name;
    const char* cjpegOptions;
};
constexpr FreshFile kFiles[] = {
    {"photo-18mp-baseline-420.jpg", kBaselineCjpegOptions},
    {"photo-18mp-progressive-420.jpg", "-quality 90 -sample 2x2 -progressive"},
};

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

std::string CostText(double cpu, double megabytes) {
    char text[64];
    std::snprintf(text, sizeof text, "cpu=%.3fs peak=%.1fMB", cpu, megabytes);
    return text;
}

}  // namespace

namespace {

// One run of the command under /usr/bin/time.
ProcessCost RunOnce(const std::vector<std::string>& command, const fs::path& scratch) {
    const fs::path report = scratch / "time.txt";
    std::string line = "/usr/bin/time -f '%U %S %M' -o";
    AppendQuoted(line, report.string());
    for (const std::string& word : command) AppendQuoted(line, word);
    line += " >/dev/null 2>&1";
    const int status = std::system(line.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw BenchError("failed:" + line);
    std::ifstream in(report);
    double user = 0, system = 0, kilobytes = 0;
    if (!(in >> user >> system >> kilobytes)) throw BenchError("no report from /usr/bin/time");
    return {user + system, kilobytes * 1024 / 1e6};
}

}  // namespace

std::vector<ProcessCost> MeasureProcesses(const std::vector<std::vector<std::string>>& commands,
                                          int runs, const fs::path& scratch) {
    std::vector<std::vector<double>> cpu(commands.size()), peak(commands.size());
    for (int run = 0; run < runs; ++run) {
        for (std::size_t turn = 0; turn < commands.size(); ++turn) {
            const std::size_t which = (static_cast<std::size_t>(run) + turn) % commands.size();
            const ProcessCost cost = RunOnce(commands[which], scratch);
            cpu[which].push_back(cost.cpuSeconds);
            peak[which].push_back(cost.peakMegabytes);
        }
    }
    std::vector<ProcessCost> medians;
    for (std::size_t which = 0; which < commands.size(); ++which)
        medians.push_back({*Median(cpu[which]), *Median(peak[which])});
    return medians;
}

fs::path WriteSourcePicture(const fs::path& directory, const fs::path& photo, int width,
                            int height) {
    const fs::path source =
        directory / ("photo-" + std::to_string(width) + "x" + std::to_string(height) + ".ppm");
    // Made once per run of the benchmark (a kept directory may hold one of an
    // earlier run, from other photos).
    static std::set<fs::path> written;
    if (written.contains(source)) return source;
    const RgbPicture picture = photo.empty() ? GeneratedPicture(width, height, 3)
                                             : FitByMirroring(LoadPicture(photo), width, height);
    WritePpm(picture, source);
    written.insert(source);
    return source;
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
        WriteSourcePicture(settings.directory, settings.photo, kFreshWidth, kFreshHeight);
    const fs::path output = settings.directory / "fresh-output.ppm";
    std::cout << "fresh-process runs: " << settings.runs
              << " per file and program (medians; tessera-decode FILE OUT.ppm, "
                 "djpeg -outfile OUT.ppm FILE: the same pixels)\n";
    for (const FreshFile* file : files) {
        const fs::path jpeg = settings.directory / file->name;
        EncodeWithCjpeg(file->cjpegOptions, source, jpeg);
        const std::vector<ProcessCost> costs = MeasureProcesses(
            {{settings.decoder.string(), jpeg.string(), output.string()},
             {"djpeg", "-outfile", output.string(), jpeg.string()}},
            settings.runs, settings.directory);
        const ProcessCost& ours = costs[0];
        const ProcessCost& djpeg = costs[1];
        char ratios[96];
        std::snprintf(ratios, sizeof ratios, "cpu-ratio=%.2f memory-ratio=%.2f",
                      djpeg.cpuSeconds / std::max(ours.cpuSeconds, 1e-3),
                      ours.peakMegabytes / std::max(djpeg.peakMegabytes, 1e-3));
        std::cout << "fresh " << file->name << ' ' << kFreshWidth << 'x' << kFreshHeight
                  << " tessera-decode " << CostText(ours.cpuSeconds, ours.peakMegabytes)
                  << " djpeg " << CostText(djpeg.cpuSeconds, djpeg.peakMegabytes) << ' ' << ratios
                  << std::endl;
    }
    std::error_code ignored;
    fs::remove(output, ignored);
    return files.size();
}

}  // namespace TesseraBench
