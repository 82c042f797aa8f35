// Every kernel level the processor supports must decode every file to the
// same bytes as the portable kernels: the same pixels when a picture decodes,
// the same partial pixels and the same failure when it does not.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cjpeg_corpus.h"
#include "decode_helpers.h"
#include "netpbm.h"

namespace TesseraTest {
namespace {

namespace fs = std::filesystem;

struct NamedFile {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

// Our cjpeg corpus, the show's own pictures and the peers' files.
std::vector<NamedFile> AllFiles() {
    std::vector<NamedFile> files;
    for (const CorpusFile& file : CjpegCorpus()) files.push_back({file.name, file.bytes});
    for (const auto& entry :
         fs::directory_iterator(fs::path(TESSERA_SOURCE_DIR) / "resources" / "pictures"))
        if (entry.path().extension() == ".jpg")
            files.push_back({entry.path().string(), ReadFileBytes(entry.path().string())});
    for (const std::string& path : SharedJpegFiles()) files.push_back({path, ReadFileBytes(path)});
    return files;
}

TEST(SimdPaths, EveryLevelDecodesEveryFileToThePortableBytes) {
    const std::vector<Tessera::SimdLevel> levels = Tessera::SupportedSimdLevels();
    if (levels.size() < 2) GTEST_SKIP() << "this processor runs the portable kernels only";
    const std::vector<NamedFile> files = AllFiles();
    ASSERT_GE(files.size(), 11u);  // at least the show's pictures
    for (const NamedFile& file : files) {
        SCOPED_TRACE(file.name);
        Tessera::RasterImage portable;
        const DecodeOutcome expected = Decode(file.bytes, portable, Tessera::SimdLevel::Portable);
        for (Tessera::SimdLevel level : levels) {
            if (level == Tessera::SimdLevel::Portable) continue;
            SCOPED_TRACE(Tessera::SimdLevelName(level));
            Tessera::RasterImage image;
            const DecodeOutcome outcome = Decode(file.bytes, image, level);
            EXPECT_EQ(outcome.errorClass, expected.errorClass);
            EXPECT_EQ(outcome.message, expected.message);
            EXPECT_EQ(Digest(image), Digest(portable));
        }
    }
}

}  // namespace
}  // namespace TesseraTest
