#include "cjpeg_corpus.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace TesseraTest {

namespace fs = std::filesystem;

Picture Scene(int width, int height, std::uint32_t seed) {
    Picture picture{width, height, 3, {}};
    picture.samples.resize(static_cast<std::size_t>(width) * height * 3);
    std::uint32_t state = seed;
    auto noise = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>(state >> 24) - 128;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double fx = width > 1 ? double(x) / (width - 1) : 0.5;
            const double fy = height > 1 ? double(y) / (height - 1) : 0.5;
            int r = static_cast<int>(255 * fx);
            int g = static_cast<int>(255 * fy);
            int b = static_cast<int>(128 + 127 * std::sin(6.0 * (fx + fy)));
            const double dx = fx - 0.6, dy = fy - 0.4;
            if (dx * dx + dy * dy < 0.04) r = 255, g = 20, b = 40;          // a red disc
            if (((x / 5) + (y / 7)) % 2 == 0 && fx < 0.3) r = g = b = 250;  // checks
            if (fy > 0.75) {                                                // a textured band
                const int n = noise() / 2;
                r += n, g += n, b -= n;
            }
            std::uint8_t* p = &picture.samples[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(std::clamp(r, 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(g, 0, 255));
            p[2] = static_cast<std::uint8_t>(std::clamp(b, 0, 255));
        }
    }
    return picture;
}

namespace {

struct Configuration {
    const char* name;
    const char* source;  // "scene", or "photo" (the shared photograph, 2500 wide or 1/4 of it)
    int width, height;
    const char* options;
};

// Scan scripts for cjpeg -scans ("components: Ss-Se, Ah, Al;").
constexpr const char* kSpectralOnlyScript =
    "0: 0-0, 0, 0; 1: 0-0, 0, 0; 2: 0-0, 0, 0;"
    "0: 1-2, 0, 0; 0: 3-20, 0, 0; 0: 21-63, 0, 0; 1: 1-63, 0, 0; 2: 1-63, 0, 0;";
constexpr const char* kDeepApproximationScript =
    "0,1,2: 0-0, 0, 3; 0,1,2: 0-0, 3, 2; 0,1,2: 0-0, 2, 1; 0,1,2: 0-0, 1, 0;"
    "0: 1-63, 0, 3; 1: 1-63, 0, 2; 2: 1-63, 0, 2; 0: 1-63, 3, 2; 0: 1-63, 2, 1;"
    "0: 1-63, 1, 0; 1: 1-63, 2, 1; 1: 1-63, 1, 0; 2: 1-63, 2, 1; 2: 1-63, 1, 0;";
constexpr const char* kBandsWithApproximationScript =
    "0,1,2: 0-0, 0, 1; 0: 1-5, 0, 2; 2: 1-63, 0, 1; 1: 1-63, 0, 1; 0: 6-63, 0, 2;"
    "0: 1-63, 2, 1; 0,1,2: 0-0, 1, 0; 2: 1-63, 1, 0; 1: 1-63, 1, 0; 0: 1-63, 1, 0;";
constexpr const char* kSequentialPerComponentScript =
    "0: 0-63, 0, 0; 1: 0-63, 0, 0; 2: 0-63, 0, 0;";

// Script names stand in the options as @name and become -scans FILE.
const Configuration kConfigurations[] = {
    {"baseline-420", "scene", 227, 149, "-quality 85"},
    {"baseline-444", "scene", 227, 149, "-sample 1x1"},
    {"baseline-422", "scene", 227, 149, "-sample 2x1"},
    {"baseline-440", "scene", 227, 149, "-sample 1x2"},
    {"baseline-411", "scene", 227, 149, "-sample 4x1"},
    {"baseline-4x2", "scene", 227, 149, "-sample 4x2"},
    {"baseline-grey", "scene", 227, 149, "-grayscale"},
    {"baseline-optimized", "scene", 227, 149, "-optimize"},
    {"baseline-q100", "scene", 227, 149, "-quality 100 -sample 1x1"},
    {"baseline-q5", "scene", 227, 149, "-quality 5 -baseline"},
    {"baseline-restart-mcu", "scene", 227, 149, "-restart 1B"},
    {"baseline-restart-rows", "scene", 227, 149, "-restart 2 -sample 1x1"},
    {"baseline-restart-grey", "scene", 227, 149, "-grayscale -restart 7B"},
    {"sequential-per-component", "scene", 227, 149, "@sequential-per-component"},
    {"progressive-420", "scene", 227, 149, "-progressive"},
    {"progressive-444", "scene", 227, 149, "-progressive -sample 1x1"},
    {"progressive-422", "scene", 227, 149, "-progressive -sample 2x1"},
    {"progressive-440", "scene", 227, 149, "-progressive -sample 1x2"},
    {"progressive-411", "scene", 227, 149, "-progressive -sample 4x1"},
    {"progressive-4x2", "scene", 227, 149, "-progressive -sample 4x2"},
    {"progressive-grey", "scene", 227, 149, "-progressive -grayscale"},
    {"progressive-restart", "scene", 227, 149, "-progressive -restart 3B"},
    {"progressive-restart-grey", "scene", 227, 149, "-progressive -grayscale -restart 1B"},
    {"progressive-q100", "scene", 227, 149, "-progressive -quality 100"},
    {"progressive-spectral", "scene", 227, 149, "@spectral-only"},
    {"progressive-deep-approximation", "scene", 227, 149, "@deep-approximation"},
    {"progressive-bands", "scene", 227, 149, "@bands-with-approximation -restart 4B"},
    {"size-1x1", "scene", 1, 1, ""},
    {"size-1x1-progressive", "scene", 1, 1, "-progressive"},
    {"size-8x8", "scene", 8, 8, "-sample 1x1"},
    {"size-16x16", "scene", 16, 16, ""},
    {"size-7x9", "scene", 7, 9, ""},
    {"size-17x17-grey", "scene", 17, 17, "-grayscale"},
    {"size-100x75", "scene", 100, 75, ""},
    {"size-100x75-progressive", "scene", 100, 75, "-progressive"},
    {"size-33x1", "scene", 33, 1, "-progressive -sample 2x2"},
    {"size-1x33", "scene", 1, 33, "-sample 4x2"},
    {"size-1023x17", "scene", 1023, 17, "-progressive -sample 1x2"},
    {"photo-baseline", "photo", 625, 447, "-quality 90"},
    {"photo-progressive", "photo", 625, 447, "-progressive -quality 75"},
    {"photo-large", "photo", 2500, 1786, "-progressive -optimize"},
};

std::string ScriptText(const std::string& name) {
    if (name == "spectral-only") return kSpectralOnlyScript;
    if (name == "deep-approximation") return kDeepApproximationScript;
    if (name == "bands-with-approximation") return kBandsWithApproximationScript;
    if (name == "sequential-per-component") return kSequentialPerComponentScript;
    return "";
}

struct CorpusState {
    std::vector<CorpusFile> files;
    std::string skipReason;
    fs::path directory;
    ~CorpusState() {
        std::error_code ignored;
        if (!directory.empty()) fs::remove_all(directory, ignored);
    }
};

// Replaces each @script in the options by -scans with a file holding it.
std::string ExpandOptions(const std::string& options, const fs::path& directory) {
    std::string result;
    std::size_t pos = 0;
    while (pos < options.size()) {
        const std::size_t at = options.find('@', pos);
        if (at == std::string::npos) {
            result += options.substr(pos);
            break;
        }
        result += options.substr(pos, at - pos);
        std::size_t end = options.find(' ', at);
        if (end == std::string::npos) end = options.size();
        const std::string name = options.substr(at + 1, end - at - 1);
        const fs::path script = directory / (name + ".scans");
        std::ofstream(script) << ScriptText(name) << "\n";
        result += "-scans " + ShellQuote(script.string());
        pos = end;
    }
    return result;
}

bool PhotoSource(int width, const fs::path& out) {
    const std::string shared = SharedDirectory();
    if (shared.empty()) return false;
    const fs::path photo = fs::path(shared) / "photos" / "photo-2500x1786.jpg";
    if (!fs::exists(photo)) return false;
    // 2500 wide at full size; 625 is djpeg's 1/4 scale.
    const std::string scale = width == 2500 ? "" : "-scale 1/4 ";
    return RunQuietly("djpeg " + scale + "-ppm -outfile " + ShellQuote(out.string()) + " " +
                      ShellQuote(photo.string()));
}

CorpusState BuildCorpus() {
    CorpusState state;
    if (!RunQuietly("command -v cjpeg") || !RunQuietly("command -v djpeg")) {
        state.skipReason = "cjpeg and djpeg (Debian's libjpeg-turbo-progs) are not installed";
        return state;
    }
    state.directory = fs::temp_directory_path() / ("tessera-corpus-" + std::to_string(getpid()));
    fs::create_directories(state.directory);
    std::uint32_t seed = 1;
    for (const Configuration& config : kConfigurations) {
        const fs::path source = state.directory / (std::string(config.name) + ".ppm");
        if (std::string(config.source) == "photo") {
            if (!PhotoSource(config.width, source)) continue;
        } else {
            WritePpm(source.string(), Scene(config.width, config.height, seed++));
        }
        CorpusFile file;
        file.name = config.name;
        file.options = config.options;
        file.path = (state.directory / (file.name + ".jpg")).string();
        const std::string reference = (state.directory / (file.name + ".ref")).string();
        const std::string smooth = (state.directory / (file.name + ".smooth")).string();
        if (!RunQuietly("cjpeg " + ExpandOptions(config.options, state.directory) + " -outfile " +
                        ShellQuote(file.path) + " " + ShellQuote(source.string())) ||
            !RunQuietly("djpeg -dct int -nosmooth -outfile " + ShellQuote(reference) + " " +
                        ShellQuote(file.path)) ||
            !RunQuietly("djpeg -outfile " + ShellQuote(smooth) + " " + ShellQuote(file.path))) {
            state.skipReason = std::string("cjpeg or djpeg failed on ") + config.name;
            state.files.clear();
            return state;
        }
        file.bytes = ReadFileBytes(file.path);
        auto picture = ReadNetpbm(reference);
        auto smoothPicture = ReadNetpbm(smooth);
        if (!picture || !smoothPicture) {
            state.skipReason = std::string("unreadable djpeg output for ") + config.name;
            state.files.clear();
            return state;
        }
        file.reference = std::move(*picture);
        file.smooth = std::move(*smoothPicture);
        state.files.push_back(std::move(file));
    }
    return state;
}

CorpusState& State() {
    static CorpusState state = BuildCorpus();
    return state;
}

}  // namespace

const std::vector<CorpusFile>& CjpegCorpus() {
    return State().files;
}
const std::string& CorpusSkipReason() {
    return State().skipReason;
}

bool RunQuietly(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string SharedDirectory() {
    if (const char* overridden = std::getenv("TESSERA_SHARED_DIR")) return overridden;
    const fs::path beside = fs::path(TESSERA_SOURCE_DIR).parent_path() / "shared";
    return fs::is_directory(beside) ? beside.string() : std::string();
}

namespace {
constexpr std::uint8_t kSos = 0xDA;
constexpr std::uint8_t kEoi[] = {0xFF, 0xD9};

// Where the entropy-coded data of the scan whose SOS marker stands at `at`
// ends: at the next marker that is not a restart marker.
std::size_t ScanDataEnd(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    at += 2 + (std::size_t{bytes[at + 2]} << 8 | bytes[at + 3]);
    while (at + 1 < bytes.size() &&
           !(bytes[at] == 0xFF && bytes[at + 1] != 0 && (bytes[at + 1] & 0xF8) != 0xD0))
        ++at;
    return at;
}
}  // namespace

// Segments are walked by their lengths, scans' data to its end.
std::vector<std::size_t> ScanStarts(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::size_t> starts;
    std::size_t at = 2;  // after SOI
    while (at + 4 <= bytes.size() && bytes[at] == 0xFF) {
        if (bytes[at + 1] == kSos) {
            starts.push_back(at);
            at = ScanDataEnd(bytes, at);
        } else {
            at += 2 + (std::size_t{bytes[at + 2]} << 8 | bytes[at + 3]);
        }
    }
    return starts;
}

std::vector<std::uint8_t> FirstScans(const std::vector<std::uint8_t>& bytes, std::size_t scans) {
    const std::vector<std::size_t> starts = ScanStarts(bytes);
    const std::size_t end = scans == 0 ? starts.at(0) : ScanDataEnd(bytes, starts.at(scans - 1));
    std::vector<std::uint8_t> result(bytes.begin(), bytes.begin() + std::ptrdiff_t(end));
    result.insert(result.end(), std::begin(kEoi), std::end(kEoi));
    return result;
}

}  // namespace TesseraTest
