// Arithmetic-coded files made by Debian's cjpeg -arithmetic: tolerant
// decodes (the library's default) agree with djpeg within the differential
// bound, row by row as whole; strict decodes refuse them as before.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cjpeg_corpus.h"
#include "decode_helpers.h"
#include "tessera/jpeg.h"

namespace TesseraTest {
namespace {

namespace fs = std::filesystem;

struct ArithmeticCase {
    const char* name;
    int width, height;
    const char* options;
    bool progressive;
};

const ArithmeticCase kCases[] = {
    {"sequential-420", 227, 149, "-arithmetic", false},
    {"sequential-444", 227, 149, "-arithmetic -sample 1x1", false},
    {"sequential-grey", 227, 149, "-arithmetic -grayscale", false},
    {"sequential-restart-mcu", 227, 149, "-arithmetic -restart 1B", false},
    {"sequential-restart-rows", 227, 149, "-arithmetic -restart 2 -sample 2x1", false},
    {"progressive-420", 227, 149, "-arithmetic -progressive", true},
    {"progressive-grey", 100, 75, "-arithmetic -progressive -grayscale", true},
    {"progressive-restart", 227, 149, "-arithmetic -progressive -restart 3B", true},
    {"odd-size-progressive", 33, 17, "-arithmetic -progressive -sample 2x2", true},
};

class Arithmetic : public ::testing::TestWithParam<ArithmeticCase> {
  protected:
    static void SetUpTestSuite() {
        if (!RunQuietly("command -v cjpeg") || !RunQuietly("command -v djpeg")) return;
        directory = fs::temp_directory_path() / ("tessera-arith-" + std::to_string(getpid()));
        fs::create_directories(directory);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        if (!directory.empty()) fs::remove_all(directory, ignored);
    }
    static fs::path directory;
};
fs::path Arithmetic::directory;

TEST_P(Arithmetic, DecodesAsDjpegAndStrictRefuses) {
    if (directory.empty()) GTEST_SKIP() << "cjpeg and djpeg are not installed";
    const ArithmeticCase& c = GetParam();
    const fs::path source = directory / (std::string(c.name) + ".ppm");
    const fs::path jpeg = directory / (std::string(c.name) + ".jpg");
    const fs::path reference = directory / (std::string(c.name) + ".ref");
    WritePpm(source.string(), Scene(c.width, c.height, 7));
    ASSERT_TRUE(RunQuietly(std::string("cjpeg ") + c.options + " -outfile " +
                           ShellQuote(jpeg.string()) + " " + ShellQuote(source.string())));
    ASSERT_TRUE(RunQuietly("djpeg -outfile " + ShellQuote(reference.string()) + " " +
                           ShellQuote(jpeg.string())));
    const std::vector<std::uint8_t> bytes = ReadFileBytes(jpeg.string());
    const auto expected = ReadNetpbm(reference.string());
    ASSERT_TRUE(expected.has_value());

    const Tessera::JpegInfo info = Tessera::ReadJpegInfo(bytes.data(), bytes.size());
    EXPECT_TRUE(info.arithmetic);
    EXPECT_EQ(info.progressive, c.progressive);

    Tessera::DecodeOptions options;
    options.format =
        expected->channels == 1 ? Tessera::PixelFormat::Grey : Tessera::PixelFormat::Rgb;
    const Tessera::Image image = Tessera::DecodeJpeg(bytes.data(), bytes.size(), options);
    const Difference d =
        Compare({expected->width, expected->height, expected->channels, image.pixels}, *expected);
    EXPECT_EQ(d.maximum, 0);  // djpeg's bytes
    if (std::getenv("TESSERA_REPORT_DIFFERENCES"))
        std::printf("arithmetic %-24s max %d mean %.4f\n", c.name, d.maximum, d.mean);

    // Row by row, a few rows at a time, gives the same picture.
    Tessera::JpegReader reader(bytes.data(), bytes.size(), options);
    std::vector<std::uint8_t> rows(image.pixels.size());
    const std::size_t rowBytes = image.width * static_cast<std::size_t>(expected->channels);
    for (std::size_t row = 0; row < image.height;)
        row += reader.ReadRows(rows.data() + row * rowBytes, 5);
    EXPECT_EQ(rows, image.pixels);

    Tessera::DecodeOptions strict = options;
    strict.strict = true;
    try {
        Tessera::DecodeJpeg(bytes.data(), bytes.size(), strict);
        ADD_FAILURE() << "a strict decode took an arithmetic-coded file";
    } catch (const Tessera::JpegBadStream& error) {
        EXPECT_STREQ(error.what(), "Cannot read image - Arithmetic Coding covered by patents");
    }
}

INSTANTIATE_TEST_SUITE_P(Cjpeg, Arithmetic, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& ch : name)
        if (ch == '-') ch = '_';
    return name;
});

}  // namespace
}  // namespace TesseraTest
