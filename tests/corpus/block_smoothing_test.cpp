// Progressive files whose scans stop early decode by default as djpeg shows
// them, block smoothing and all; strict decodes transform the coefficients
// as they stand.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "cjpeg_corpus.h"
#include "decode_helpers.h"
#include "image/raster_image.h"
#include "tessera/jpeg.h"

namespace TesseraTest {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The file cut half-way through the data of scan `scan` (from 0).
Bytes CutInsideScan(const Bytes& bytes, std::size_t scan) {
    const std::vector<std::size_t> starts = ScanStarts(bytes);
    const std::size_t end = scan + 1 < starts.size() ? starts[scan + 1] : bytes.size();
    return Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t((starts.at(scan) + end) / 2));
}

// A tolerant decode of the bytes against djpeg's; grey pictures compare
// their one channel.
std::optional<Difference> FromDjpeg(const Bytes& bytes, const std::string& name) {
    const std::optional<Picture> reference = DjpegOf(bytes, name);
    if (!reference) return std::nullopt;
    const bool grey = reference->channels == 1;
    const Tessera::Image image = Tessera::DecodeJpeg(
        bytes.data(), bytes.size(),
        {.format = grey ? Tessera::PixelFormat::Grey : Tessera::PixelFormat::Rgb});
    if (image.width != unsigned(reference->width) || image.height != unsigned(reference->height))
        return std::nullopt;
    return Compare({reference->width, reference->height, reference->channels, image.pixels},
                   *reference);
}

// The peers' files: the peacock's progression stopped after 1 .. 7 scans
// (EOI after them), and cut off inside a scan.
TEST(BlockSmoothing, SharedProgressionsDecodeLikeDjpeg) {
    const std::string shared = SharedDirectory();
    const auto directory = std::filesystem::path(shared) / "corpus" / "wuffs";
    if (shared.empty() || !std::filesystem::is_directory(directory))
        GTEST_SKIP() << "the peers' corpus is not beside the repository";
    for (const char* name : {"scan000", "scan001", "scan002", "scan003", "scan004", "scan005",
                             "scan006", "truncated"}) {
        SCOPED_TRACE(name);
        const auto path = directory / ("peacock.progressive." + std::string(name) + ".jpeg");
        if (!std::filesystem::exists(path)) continue;
        const std::optional<Difference> d = FromDjpeg(ReadFileBytes(path.string()), name);
        ASSERT_TRUE(d.has_value());
        EXPECT_LE(d->maximum, kMaximumDifference);
        EXPECT_LE(d->mean, kMeanDifference);
    }
}

struct Stopped {
    const char* name;
    const char* options;  // cjpeg's, besides -progressive
    Bytes (*stop)(const Bytes&);
};

Bytes AfterFirstDcScan(const Bytes& bytes) {
    return FirstScans(bytes, 1);
}
Bytes AfterFourScans(const Bytes& bytes) {
    return FirstScans(bytes, 4);
}
Bytes InsideFirstDcScan(const Bytes& bytes) {
    return CutInsideScan(bytes, 0);
}
Bytes InsideFirstAcScan(const Bytes& bytes) {
    return CutInsideScan(bytes, 1);
}
// cjpeg's fifth scan: luma's frequencies 6 .. 63, after 1 .. 5.
Bytes InsideFifthScan(const Bytes& bytes) {
    return CutInsideScan(bytes, 4);
}

// cjpeg's progression from a scene with the edges, gradients and texture
// that tell smoothing's estimates apart, in the samplings whose block grids
// differ at the edges (a width of two blocks, two block rows per MCU row).
TEST(BlockSmoothing, ProgressionsStoppedEarlyDecodeLikeDjpeg) {
    if (!RunQuietly("command -v cjpeg && command -v djpeg")) GTEST_SKIP() << CorpusSkipReason();
    const Stopped cases[] = {
        {"4:2:0 after its first DC scan", "", AfterFirstDcScan},
        {"grey after its first DC scan", "-grayscale", AfterFirstDcScan},
        {"4:4:4 after four scans", "-sample 1x1", AfterFourScans},
        {"4:2:0 after four scans", "", AfterFourScans},
        {"4:2:2 cut inside its first DC scan", "-sample 2x1", InsideFirstDcScan},
        {"4:2:0 cut inside its first AC scan", "", InsideFirstAcScan},
        {"grey cut inside its first AC scan", "-grayscale", InsideFirstAcScan},
        {"4:2:0 cut inside its fifth scan", "", InsideFifthScan},
        {"4:4:4 cut inside its fifth scan", "-sample 1x1", InsideFifthScan},
    };
    const auto directory = std::filesystem::temp_directory_path();
    const std::string source = (directory / "tessera-smoothing-source.ppm").string();
    const std::string output = (directory / "tessera-smoothing-source.jpg").string();
    // 13 × 9 MCUs of 4:2:0 with partial ones at the right and bottom edges.
    ASSERT_TRUE(WritePpm(source, Scene(201, 137, 11)));
    for (const Stopped& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(RunQuietly("cjpeg -progressive " + std::string(c.options) + " -outfile " +
                               ShellQuote(output) + " " + ShellQuote(source)));
        const Bytes whole = ReadFileBytes(output);
        const Bytes bytes = c.stop(whole);
        ASSERT_LT(bytes.size(), whole.size());
        const std::optional<Difference> d = FromDjpeg(bytes, "smoothing-reference");
        ASSERT_TRUE(d.has_value());
        EXPECT_LE(d->maximum, kMaximumDifference);
        EXPECT_LE(d->mean, kMeanDifference);
    }
    std::filesystem::remove(source);
    std::filesystem::remove(output);
}

// Strict decodes (the saver's decoder) never smooth: with only the DC scan,
// every block of a grey picture is one flat sample, where the default
// decode blends each into its neighbours.
TEST(BlockSmoothing, StrictDecodesTransformTheCoefficientsAsTheyStand) {
    if (!RunQuietly("command -v cjpeg")) GTEST_SKIP() << CorpusSkipReason();
    const auto directory = std::filesystem::temp_directory_path();
    const std::string source = (directory / "tessera-strict-smoothing.ppm").string();
    const std::string output = (directory / "tessera-strict-smoothing.jpg").string();
    ASSERT_TRUE(WritePpm(source, Scene(64, 48, 5)));
    ASSERT_TRUE(RunQuietly("cjpeg -progressive -grayscale -outfile " + ShellQuote(output) + " " +
                           ShellQuote(source)));
    const Bytes bytes = AfterFirstDcScan(ReadFileBytes(output));
    std::filesystem::remove(source);
    std::filesystem::remove(output);

    Tessera::RasterImage strict;
    ASSERT_EQ(Decode(bytes, strict).errorClass, "");
    const Picture flat = ToPicture(strict, 1);
    const Tessera::Image smooth =
        Tessera::DecodeJpeg(bytes.data(), bytes.size(), {.format = Tessera::PixelFormat::Grey});
    ASSERT_EQ(smooth.pixels.size(), flat.samples.size());
    // Blocks whose samples all equal their first one.
    const auto flatBlocks = [&](const std::vector<std::uint8_t>& samples) {
        int count = 0;
        for (int by = 0; by < flat.height / 8; ++by)
            for (int bx = 0; bx < flat.width / 8; ++bx) {
                bool same = true;
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x)
                        same =
                            same && samples[std::size_t((by * 8 + y) * flat.width + bx * 8 + x)] ==
                                        samples[std::size_t(by * 8 * flat.width + bx * 8)];
                count += same;
            }
        return count;
    };
    const int blocks = (flat.width / 8) * (flat.height / 8);
    EXPECT_EQ(flatBlocks(flat.samples), blocks);
    EXPECT_LT(flatBlocks(smooth.pixels), blocks / 2);
}

}  // namespace
}  // namespace TesseraTest
