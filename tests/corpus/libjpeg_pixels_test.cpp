// The default decode against djpeg with its defaults, byte for byte: every
// sampling, scale and crop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cjpeg_corpus.h"
#include "decode_helpers.h"
#include "tessera/jpeg.h"

namespace TesseraTest {
namespace {

namespace fs = std::filesystem;

Picture Decoded(const std::vector<std::uint8_t>& bytes, Tessera::DecodeOptions options,
                int channels) {
    options.format = channels == 1 ? Tessera::PixelFormat::Grey : Tessera::PixelFormat::Rgb;
    const Tessera::Image image = Tessera::DecodeJpeg(bytes.data(), bytes.size(), options);
    return {static_cast<int>(image.width), static_cast<int>(image.height), channels, image.pixels};
}

// djpeg's output for the file with the given options; none when it fails or
// warns (a file it had to repair is no reference for the exact bytes).
std::optional<Picture> Djpeg(const std::string& path, const std::string& options) {
    const fs::path out =
        fs::temp_directory_path() / ("tessera-libjpeg-pixels-" + std::to_string(getpid()));
    const fs::path err = out.string() + ".err";
    const bool ran = RunQuietly("djpeg " + options + " -outfile " + ShellQuote(out.string()) + " " +
                                ShellQuote(path) + " 2>" + ShellQuote(err.string()));
    const bool quiet = fs::exists(err) && fs::file_size(err) == 0;
    auto picture = ran && quiet ? ReadNetpbm(out.string()) : std::nullopt;
    fs::remove(out);
    fs::remove(err);
    return picture;
}

void ExpectSame(const Picture& ours, const Picture& reference) {
    ASSERT_EQ(ours.width, reference.width);
    ASSERT_EQ(ours.height, reference.height);
    ASSERT_EQ(ours.samples.size(), reference.samples.size());
    std::size_t differ = 0;
    for (std::size_t i = 0; i < ours.samples.size(); ++i)
        differ += ours.samples[i] != reference.samples[i];
    EXPECT_EQ(differ, 0u) << "of " << ours.samples.size() << " samples";
}

const CorpusFile* Find(const std::string& name) {
    for (const CorpusFile& file : CjpegCorpus())
        if (file.name == name) return &file;
    return nullptr;
}

TEST(LibjpegPixels, EveryCjpegFileIsDjpegsByteForByte) {
    if (CjpegCorpus().empty()) GTEST_SKIP() << CorpusSkipReason();
    for (const CorpusFile& file : CjpegCorpus()) {
        SCOPED_TRACE(file.name + " (cjpeg " + file.options + ")");
        ExpectSame(Decoded(file.bytes, {}, file.smooth.channels), file.smooth);
        ExpectSame(
            Decoded(file.bytes, {.pixels = Tessera::Pixels::Replicated}, file.reference.channels),
            file.reference);
    }
}

// Every sampling, the grey and progressive frames, odd sizes and restarts.
constexpr const char* kScaledFiles[] = {
    "baseline-420", "baseline-422", "baseline-440",         "baseline-444",
    "baseline-411", "baseline-4x2", "baseline-grey",        "progressive-420",
    "size-7x9",     "size-1023x17", "baseline-restart-mcu", "sequential-per-component",
};

TEST(LibjpegPixels, EveryScaleIsDjpegsScale) {
    if (CjpegCorpus().empty()) GTEST_SKIP() << CorpusSkipReason();
    for (const char* name : kScaledFiles) {
        const CorpusFile* file = Find(name);
        ASSERT_NE(file, nullptr) << name;
        for (unsigned m = 1; m < 8; ++m) {
            SCOPED_TRACE(file->name + " at " + std::to_string(m) + "/8");
            const std::string scale = "-scale " + std::to_string(m) + "/8";
            const auto smooth = Djpeg(file->path, scale);
            ASSERT_TRUE(smooth);
            ExpectSame(Decoded(file->bytes, {.scale = {m, 8}}, smooth->channels), *smooth);
            const auto replicated = Djpeg(file->path, scale + " -nosmooth");
            ASSERT_TRUE(replicated);
            ExpectSame(
                Decoded(file->bytes, {.pixels = Tessera::Pixels::Replicated, .scale = {m, 8}},
                        replicated->channels),
                *replicated);
        }
    }
}

struct Crop {
    const char* file;
    Tessera::Pixels pixels;
    unsigned scale;  // eighths
    Tessera::PixelFormat format = Tessera::PixelFormat::Rgb;
};

Picture DecodedAs(const std::vector<std::uint8_t>& bytes, const Tessera::DecodeOptions& options) {
    const Tessera::Image image = Tessera::DecodeJpeg(bytes.data(), bytes.size(), options);
    return {static_cast<int>(image.width), static_cast<int>(image.height),
            static_cast<int>(Tessera::BytesPerPixel(options.format)), image.pixels};
}

TEST(LibjpegPixels, CropsAreTheFullDecodesRectangle) {
    if (CjpegCorpus().empty()) GTEST_SKIP() << CorpusSkipReason();
    constexpr Crop kCrops[] = {
        {"baseline-420", Tessera::Pixels::Smooth, 8},
        {"baseline-420", Tessera::Pixels::Exact, 8},
        {"baseline-420", Tessera::Pixels::Smooth, 3},
        {"baseline-440", Tessera::Pixels::Smooth, 8},
        {"baseline-grey", Tessera::Pixels::Smooth, 8},
        {"baseline-restart-mcu", Tessera::Pixels::Replicated, 8},
        {"sequential-per-component", Tessera::Pixels::Smooth, 8},
        {"progressive-420", Tessera::Pixels::Smooth, 8},
        {"progressive-420", Tessera::Pixels::Exact, 8},
        // The saver's layouts, cropped in its row kernels (odd first
        // columns of half-resolution chroma too) or a row at a time.
        {"baseline-420", Tessera::Pixels::Exact, 8, Tessera::PixelFormat::Cmyk},
        {"baseline-422", Tessera::Pixels::Exact, 8, Tessera::PixelFormat::Grey},
        {"baseline-422", Tessera::Pixels::Exact, 8, Tessera::PixelFormat::Bgr},
        {"baseline-444", Tessera::Pixels::Exact, 8, Tessera::PixelFormat::Rgba},
        {"baseline-411", Tessera::Pixels::Exact, 8, Tessera::PixelFormat::Bgra},
        {"baseline-grey", Tessera::Pixels::Exact, 8, Tessera::PixelFormat::Rgbx},
        {"baseline-444", Tessera::Pixels::Smooth, 8, Tessera::PixelFormat::Bgr},
    };
    for (const Crop& crop : kCrops) {
        const CorpusFile* file = Find(crop.file);
        ASSERT_NE(file, nullptr) << crop.file;
        Tessera::DecodeOptions options{
            .format = crop.format, .pixels = crop.pixels, .scale = {crop.scale, 8}};
        const Picture full = DecodedAs(file->bytes, options);
        const std::size_t n = static_cast<std::size_t>(full.channels);
        const unsigned w = static_cast<unsigned>(full.width),
                       h = static_cast<unsigned>(full.height);
        const Tessera::Region regions[] = {
            {0, 0, 1, 1},        {w - 1, h - 1, 1, 1},
            {0, 0, w, h},        {w / 4, h / 4, w / 2, h / 2},
            {17, 9, 31, 13},     {0, h / 2, w, 1},
            {w / 2, 0, 1, h},    {3, 20, w - 3, h - 40},
            {w - 16, 15, 16, 2},
        };
        for (const Tessera::Region& r : regions) {
            SCOPED_TRACE(file->name + " " + std::to_string(int(crop.pixels)) + " at " +
                         std::to_string(crop.scale) + "/8: " + std::to_string(r.width) + "x" +
                         std::to_string(r.height) + "+" + std::to_string(r.x) + "+" +
                         std::to_string(r.y));
            options.region = r;
            const Picture ours = DecodedAs(file->bytes, options);
            ASSERT_EQ(ours.width, int(r.width));
            ASSERT_EQ(ours.height, int(r.height));
            Picture expected{int(r.width), int(r.height), full.channels, {}};
            for (unsigned y = r.y; y < r.y + r.height; ++y) {
                const auto row = full.samples.begin() +
                                 static_cast<std::ptrdiff_t>(n * (std::size_t{y} * w + r.x));
                expected.samples.insert(expected.samples.end(), row,
                                        row + static_cast<std::ptrdiff_t>(n * r.width));
            }
            ExpectSame(ours, expected);
        }
    }
}

TEST(LibjpegPixels, ScalesAndRegionsOutsideWhatIsOfferedAreRefused) {
    if (CjpegCorpus().empty()) GTEST_SKIP() << CorpusSkipReason();
    const CorpusFile* file = Find("baseline-420");  // 227 x 149
    ASSERT_NE(file, nullptr);
    struct Case {
        Tessera::DecodeOptions options;
        Tessera::ErrorCode code;
    };
    const Case cases[] = {
        {{.scale = {9, 8}}, Tessera::ErrorCode::ScaleNotSupported},
        {{.scale = {1, 0}}, Tessera::ErrorCode::ScaleNotSupported},
        {{.pixels = Tessera::Pixels::Exact, .scale = {1, 2}},
         Tessera::ErrorCode::ScaleNotSupported},
        {{.strict = true, .scale = {1, 2}}, Tessera::ErrorCode::ScaleNotSupported},
        {{.region = {200, 0, 28, 10}}, Tessera::ErrorCode::RegionOutsidePicture},
        {{.region = {0, 149, 1, 1}}, Tessera::ErrorCode::RegionOutsidePicture},
        {{.scale = {1, 2}, .region = {0, 0, 115, 10}}, Tessera::ErrorCode::RegionOutsidePicture},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Tessera::ErrorMessage(c.code));
        try {
            Tessera::DecodeJpeg(file->bytes.data(), file->bytes.size(), c.options);
            ADD_FAILURE() << "decoded";
        } catch (const std::exception& error) {
            EXPECT_EQ(Tessera::ErrorCodeOf(error), c.code) << error.what();
        }
    }
    // Within bounds: 1/2 of 227 is 114 wide, and the scale may be any
    // fraction up to the next eighth (1/3 decodes at 3/8).
    EXPECT_EQ(Tessera::DecodeJpeg(file->bytes.data(), file->bytes.size(),
                                  {.scale = {1, 2}, .region = {0, 0, 114, 10}})
                  .width,
              114u);
    EXPECT_EQ(Tessera::DecodeJpeg(file->bytes.data(), file->bytes.size(), {.scale = {1, 3}}).width,
              86u);
}

// The peers' files that djpeg decodes without a warning.
TEST(LibjpegPixels, SharedCorpusCompleteFilesAreDjpegsByteForByte) {
    const std::vector<std::string> files = SharedJpegFiles();
    if (files.empty()) GTEST_SKIP() << "no shared corpus beside the repository";
    int compared = 0;
    for (const std::string& path : files) {
        const auto reference = Djpeg(path, "");
        if (!reference) continue;
        SCOPED_TRACE(path);
        const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
        ExpectSame(Decoded(bytes, {}, reference->channels), *reference);
        ++compared;
    }
    RecordProperty("compared", compared);
    EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace TesseraTest
