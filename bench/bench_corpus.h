#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace TesseraBench {

// The kinds of file that the benchmark reports on separately.
enum class FileClass { Baseline, Progressive, Grayscale, Sampling444, Restarts, Show };
inline constexpr FileClass kFileClasses[] = {FileClass::Baseline,  FileClass::Progressive,
                                             FileClass::Grayscale, FileClass::Sampling444,
                                             FileClass::Restarts,  FileClass::Show};
// "baseline", "progressive", "grayscale", "444", "restarts", "show".
std::string_view ClassName(FileClass fileClass);

// cjpeg's options for the 4:2:0 encodings, which the fresh-process and sized
// comparisons' files share with the corpus.
inline constexpr char kBaselineOptions[] = "-quality 90 -sample 2x2";
inline constexpr char kProgressiveOptions[] = "-quality 90 -sample 2x2 -progressive";
inline constexpr char kRestartsOptions[] = "-quality 90 -sample 2x2 -restart 1";  // every MCU row

// One JPEG file of the corpus, held in memory for decoding.
struct CorpusFile {
    std::string name;  // e.g. "photo-2mp-progressive-420.jpg"
    FileClass fileClass;
    std::vector<std::uint8_t> bytes;
};

struct CorpusSettings {
    std::filesystem::path repositoryRoot;  // for resources/pictures, and ../shared/photos
    std::optional<std::filesystem::path> photosDirectory;  // given: its photos must be readable
    std::filesystem::path directory;                       // where the files are made
    bool quick = false;  // one 640 × 480 picture instead of the 2, 12 and 18 megapixel ones
    std::string filter;  // only files whose name contains it
};

struct Corpus {
    std::vector<CorpusFile> files;
    std::filesystem::path photos;  // the photos directory used; empty: generated pictures
    std::string sources;           // where the pictures came from, for the report
};

// Makes the corpus in settings.directory: pictures of 2 and 12 megapixels cut
// from the shared photos (or generated, when there are none), written as PPM
// and encoded with cjpeg five ways (baseline 4:2:0, 4:4:4, grayscale,
// progressive 4:2:0, baseline 4:2:0 with a restart every MCU row), an
// 18-megapixel one (kLargeWidth × kLargeHeight, WriteSourcePicture's) encoded
// the three 4:2:0 ways, plus the show's own pictures from resources/pictures.
// Throws CjpegMissing when cjpeg is not installed and BenchError on any other
// failure.
Corpus MakeCorpus(const CorpusSettings& settings);

// Encodes the PPM source with cjpeg and the options; throws BenchError with
// cjpeg's messages when it fails. A file that this run has already made
// from the same source with the same options is left as it is.
void EncodeWithCjpeg(const std::string& options, const std::filesystem::path& source,
                     const std::filesystem::path& output);

// The repository that this executable was built from: the nearest directory
// above the executable that holds resources/pictures, else the source
// directory that the build recorded.
std::filesystem::path FindRepositoryRoot();

// A directory for the corpus: a new temporary one that is removed with this
// object, or the one given, which is created if need be and kept.
class CorpusDirectory {
  public:
    explicit CorpusDirectory(const std::optional<std::filesystem::path>& keep);
    ~CorpusDirectory();
    CorpusDirectory(const CorpusDirectory&) = delete;
    CorpusDirectory& operator=(const CorpusDirectory&) = delete;

    const std::filesystem::path& Path() const { return path; }
    bool Kept() const { return kept; }

  private:
    std::filesystem::path path;
    bool kept;
};

}  // namespace TesseraBench
