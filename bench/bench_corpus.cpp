#include "bench_corpus.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <span>
#include <system_error>

#include "bench_error.h"
#include "source_pictures.h"

namespace TesseraBench {

namespace fs = std::filesystem;

namespace {

// A picture to encode: cut from a photo of the photos directory, or generated.
struct PictureRecipe {
    const char* name;
    const char* photo;  // nullptr: GeneratedPicture with the seed
    int width, height;  // 1920 × 1080 ≈ 2.07 megapixels, 4240 × 2832 ≈ 12.0 megapixels
    std::uint32_t seed;
    // The large picture: WriteSourcePicture's, which the fresh-process and
    // sized comparisons decode too, encoded the 4:2:0 ways alone.
    bool large = false;
};

constexpr PictureRecipe kPhotoPictures[] = {
    {"painting-2mp", "painting-1165x859.png", 1920, 1080, 0},                   // mirror-tiled
    {"photo-2mp", "photo-2500x1786.jpg", 1920, 1080, 0},                        // cropped
    {"photo-12mp", "photo-2500x1786.jpg", 4240, 2832, 0},                       // mirror-tiled
    {"render-12mp", "render-7680x4320.jpg", 4240, 2832, 0},                     // cropped
    {"photo-18mp", "photo-2500x1786.jpg", kLargeWidth, kLargeHeight, 0, true},  // mirror-tiled
};
constexpr PictureRecipe kGeneratedPictures[] = {
    {"generated-2mp", nullptr, 1920, 1080, 1},
    {"generated-12mp", nullptr, 4240, 2832, 2},
    {"generated-18mp", nullptr, kLargeWidth, kLargeHeight, 3, true},
};
constexpr PictureRecipe kQuickPhotoPictures[] = {{"photo-vga", "photo-2500x1786.jpg", 640, 480, 0}};
constexpr PictureRecipe kQuickGeneratedPictures[] = {{"generated-vga", nullptr, 640, 480, 1}};

struct Encoding {
    const char* name;
    FileClass fileClass;
    const char* cjpegOptions;
    bool forLarge;  // the large picture is encoded this way too
};

constexpr Encoding kEncodings[] = {
    {"baseline-420", FileClass::Baseline, kBaselineOptions, true},
    {"baseline-444", FileClass::Sampling444, "-quality 90 -sample 1x1", false},
    {"grayscale", FileClass::Grayscale, "-quality 90 -grayscale", false},
    {"progressive-420", FileClass::Progressive, kProgressiveOptions, true},
    {"restarts-420", FileClass::Restarts, kRestartsOptions, true},
};

std::span<const PictureRecipe> Recipes(bool quick, bool fromPhotos) {
    using Recipes = std::span<const PictureRecipe>;
    if (quick) return fromPhotos ? Recipes(kQuickPhotoPictures) : Recipes(kQuickGeneratedPictures);
    return fromPhotos ? Recipes(kPhotoPictures) : Recipes(kGeneratedPictures);
}

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string_view directories(path);
    while (!directories.empty()) {
        const std::size_t colon = std::min(directories.find(':'), directories.size());
        const fs::path candidate = fs::path(directories.substr(0, colon)) / program;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        directories.remove_prefix(std::min(colon + 1, directories.size()));
    }
    return false;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::uint8_t> ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad() || !fs::is_regular_file(file) || bytes.empty())
        throw BenchError("cannot read " + file.string());
    return bytes;
}

fs::path DefaultPhotosDirectory(const fs::path& repositoryRoot) {
    if (const char* shared = std::getenv("TESSERA_SHARED_DIR")) return fs::path(shared) / "photos";
    return repositoryRoot.parent_path() / "shared" / "photos";
}

bool Wanted(const std::string& name, const std::string& filter) {
    return name.find(filter) != std::string::npos;
}

// Loads each photo once, however many pictures are cut from it.
class PhotoCache {
  public:
    explicit PhotoCache(fs::path directory) : directory(std::move(directory)) {}
    const RgbPicture& Photo(const std::string& name) {
        auto found = photos.find(name);
        if (found == photos.end())
            found = photos.emplace(name, LoadPicture(directory / name)).first;
        return found->second;
    }
    fs::path Path(const std::string& name) const { return directory / name; }

  private:
    fs::path directory;
    std::map<std::string, RgbPicture> photos;
};

// Encodes the picture of the recipe each way that the filter lets through.
void AddEncodedPictures(const PictureRecipe& recipe, PhotoCache& photos,
                        const CorpusSettings& settings, std::vector<CorpusFile>& files) {
    std::vector<const Encoding*> encodings;
    for (const Encoding& encoding : kEncodings) {
        if ((!recipe.large || encoding.forLarge) &&
            Wanted(std::string(recipe.name) + "-" + encoding.name + ".jpg", settings.filter))
            encodings.push_back(&encoding);
    }
    if (encodings.empty()) return;

    fs::path source;
    if (recipe.large) {
        // The generated stand-in is WriteSourcePicture's own.
        source = WriteSourcePicture(
            settings.directory, recipe.photo != nullptr ? photos.Path(recipe.photo) : fs::path(),
            recipe.width, recipe.height);
    } else {
        const RgbPicture picture =
            recipe.photo != nullptr
                ? FitByMirroring(photos.Photo(recipe.photo), recipe.width, recipe.height)
                : GeneratedPicture(recipe.width, recipe.height, recipe.seed);
        source = settings.directory / (std::string(recipe.name) + ".ppm");
        WritePpm(picture, source);
    }
    for (const Encoding* encoding : encodings) {
        const std::string name = std::string(recipe.name) + "-" + encoding->name + ".jpg";
        const fs::path output = settings.directory / name;
        EncodeWithCjpeg(encoding->cjpegOptions, source, output);
        files.push_back({name, encoding->fileClass, ReadBytes(output)});
    }
}

void AddShowPictures(const CorpusSettings& settings, std::vector<CorpusFile>& files) {
    const fs::path directory = settings.repositoryRoot / "resources" / "pictures";
    std::error_code error;
    std::vector<fs::path> pictures;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        if (entry.path().extension() == ".jpg") pictures.push_back(entry.path());
    }
    if (error || pictures.empty())
        throw BenchError("no show pictures in " + directory.string() +
                         (error ? ": " + error.message() : ""));
    std::sort(pictures.begin(), pictures.end());
    for (const fs::path& picture : pictures) {
        const std::string name = "show-" + picture.filename().string();
        if (Wanted(name, settings.filter))
            files.push_back({name, FileClass::Show, ReadBytes(picture)});
    }
}

}  // namespace

void EncodeWithCjpeg(const std::string& options, const fs::path& source, const fs::path& output) {
    // (A kept directory may hold files of an earlier run, from other photos:
    // only this run's are taken as they are.)
    static std::set<std::string> made;
    const std::string key = options + '\n' + source.string() + '\n' + output.string();
    if (made.contains(key)) return;
    const std::string command = "cjpeg " + options + " -outfile " + ShellQuote(output.string()) +
                                " " + ShellQuote(source.string()) + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) throw BenchError("cannot run cjpeg: " + command);
    std::string messages;
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) messages += chunk;
    if (pclose(pipe) != 0)
        throw BenchError("cjpeg " + options + " failed on " + source.string() +
                         (messages.empty() ? "" : ": " + messages));
    made.insert(key);
}

std::string_view ClassName(FileClass fileClass) {
    switch (fileClass) {
        case FileClass::Baseline:
            return "baseline";
        case FileClass::Progressive:
            return "progressive";
        case FileClass::Grayscale:
            return "grayscale";
        case FileClass::Sampling444:
            return "444";
        case FileClass::Restarts:
            return "restarts";
        case FileClass::Show:
            return "show";
    }
    return "?";
}

Corpus MakeCorpus(const CorpusSettings& settings) {
    if (!OnPath("cjpeg"))
        throw CjpegMissing(
            "cjpeg is not installed (Debian package libjpeg-turbo-progs; "
            "scripts/install-dependencies installs it)");

    const fs::path photosDirectory =
        settings.photosDirectory.value_or(DefaultPhotosDirectory(settings.repositoryRoot));
    const bool usePhotos =
        settings.photosDirectory.has_value() || fs::is_directory(photosDirectory);
    if (usePhotos && !fs::is_directory(photosDirectory))
        throw BenchError("no photos directory " + photosDirectory.string());

    Corpus corpus;
    if (usePhotos) corpus.photos = photosDirectory;
    corpus.sources = usePhotos ? "photos from " + photosDirectory.string()
                               : "generated (no photos at " + photosDirectory.string() + ")";
    PhotoCache photos(photosDirectory);
    for (const PictureRecipe& recipe : Recipes(settings.quick, usePhotos))
        AddEncodedPictures(recipe, photos, settings, corpus.files);
    AddShowPictures(settings, corpus.files);
    return corpus;
}

fs::path FindRepositoryRoot() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        for (fs::path directory = executable.parent_path(); directory != directory.root_path();
             directory = directory.parent_path()) {
            if (fs::is_directory(directory / "resources" / "pictures") &&
                fs::is_regular_file(directory / "jpeg" / "jpeg_decoder.h"))
                return directory;
        }
    }
    return TESSERA_SOURCE_DIR;
}

CorpusDirectory::CorpusDirectory(const std::optional<fs::path>& keep) : kept(keep.has_value()) {
    if (keep) {
        std::error_code error;
        fs::create_directories(*keep, error);
        if (error || !fs::is_directory(*keep))
            throw BenchError("cannot make directory " + keep->string() +
                             (error ? ": " + error.message() : ""));
        path = fs::absolute(*keep);
        return;
    }
    std::string pattern = (fs::temp_directory_path() / "tessera-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw BenchError("cannot make a temporary directory like " + pattern);
    path = pattern;
}

CorpusDirectory::~CorpusDirectory() {
    std::error_code ignored;
    if (!kept) fs::remove_all(path, ignored);
}

}  // namespace TesseraBench
