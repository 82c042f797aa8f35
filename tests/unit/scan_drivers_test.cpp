// Whole scans: block order of interleaved and non-interleaved scans (T.81
// A.2), restart intervals (B.2.1, F.2.2.5 / G.1.2) and progressive passes.
#include <gtest/gtest.h>

#include "jpeg/inverse_dct.h"
#include "stream_builder.h"

namespace Tessera::Testing {
namespace {

constexpr std::uint8_t kRst0 = 0xD0;

// DC values of grey blocks cut into restart intervals, RST0, RST1, … between
// them; the DC prediction starts again from 0 in every interval. Sequential
// blocks end with an end of block, progressive DC scans have no AC part.
Bytes InIntervals(const std::vector<int>& values, std::size_t interval, bool sequential = true) {
    Bytes data;
    for (std::size_t start = 0, n = 0; start < values.size(); start += interval, ++n) {
        if (n > 0) Append(data, {0xFF, static_cast<std::uint8_t>(kRst0 + (n - 1) % 8)});
        BitWriter writer;
        int predictor = 0;
        for (std::size_t i = start; i < std::min(values.size(), start + interval); ++i) {
            writer.Dc(values[i] - predictor);
            if (sequential) writer.EndOfBlock();
            predictor = values[i];
        }
        Append(data, writer.Finish());
    }
    return data;
}

void ExpectGreyBlocks(const RasterImage& image, const std::vector<int>& values) {
    ASSERT_EQ(image.Width(), static_cast<int>(8 * values.size()));
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            ASSERT_EQ(PixelAt(image, x, y),
                      GreyPixel(static_cast<std::uint32_t>(128 + values[x / 8])))
                << x << "," << y;
}

TEST(ScanDrivers, RestartIntervalOfTwo) {
    const std::vector<int> values = {10, 20, 30, 40, 50};
    const Bytes data = InIntervals(values, 2);
    // The markers sit before MCUs 3 and 5: RST0 and RST1.
    const Bytes expected = [&] {
        Bytes d = DcOnlyBlocks({10, 20});
        Append(d, {0xFF, 0xD0});
        Append(d, DcOnlyBlocks({30, 40}));
        Append(d, {0xFF, 0xD1});
        Append(d, DcOnlyBlocks({50}));
        return d;
    }();
    ASSERT_EQ(data, expected);
    JpegDecoder decoder;
    RasterImage image;
    Decode(decoder, WithTables().Dri(2).GreyFrame(kSof0, 40, 8).GreyScan().Raw(data).Eoi(), image);
    ExpectGreyBlocks(image, values);
}

TEST(ScanDrivers, RestartMarkerFaults) {
    const Bytes first = DcOnlyBlocks({10, 20});
    const Bytes second = DcOnlyBlocks({30, 40});
    const Bytes last = DcOnlyBlocks({50});
    struct Case {
        const char* name;
        Bytes firstMarker;
        Bytes trailer;  // after the last MCU
        bool accepted;
        Raised raised;
        const char* message;
    };
    const Case cases[] = {
        {"fill bytes before the marker", {0xFF, 0xFF, 0xFF, 0xD0}, {}, true, Raised::BadStream, ""},
        {"marker after the last MCU",
         {0xFF, 0xD0},
         {0xFF, 0xD2},
         false,
         Raised::BadStream,
         "Unknown, unsupported, or reserved marker encountered"},
        {"wrong number", {0xFF, 0xD1}, {}, false, Raised::BadStream, "Incorrect Restart Marker"},
        {"no 0xFF", {0x00, 0xD0}, {}, false, Raised::BadStream, "Missing Restart Marker"},
        {"not a restart marker",
         {0xFF, 0xC4},
         {},
         false,
         Raised::BadStream,
         "Missing Restart Marker"},
        {"no marker at all", {}, {}, false, Raised::BadStream, "Missing Restart Marker"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes data = first;
        Append(data, c.firstMarker);
        Append(data, second);
        Append(data, {0xFF, 0xD1});
        Append(data, last);
        Append(data, c.trailer);
        const Bytes stream = WithTables().Dri(2).GreyFrame(kSof0, 40, 8).GreyScan().Raw(data).Eoi();
        JpegDecoder decoder;
        RasterImage image;
        if (c.accepted) {
            ASSERT_NO_THROW(Decode(decoder, stream, image));
            ExpectGreyBlocks(image, {10, 20, 30, 40, 50});
        } else {
            ExpectFailure([&] { Decode(decoder, stream, image); }, c.raised, c.message);
        }
    }
}

TEST(ScanDrivers, RestartNumbersWrapAndStartAgainInEveryScan) {
    const std::vector<int> firstScan = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const std::vector<int> secondScan = {-1, -2, -3, -4, -5, -6, -7, -8, -9, -10};
    const Bytes data = InIntervals(firstScan, 1);
    ASSERT_EQ(data[data.size() - 4], 0xFF);  // RST7 then RST0 again before the last block
    ASSERT_EQ(data[data.size() - 3], 0xD0);
    JpegDecoder decoder;
    RasterImage image;
    Decode(decoder,
           WithTables()
               .Dri(1)
               .GreyFrame(kSof0, 80, 8)
               .GreyScan()
               .Raw(data)
               .GreyScan()
               .Raw(InIntervals(secondScan, 1))
               .Eoi(),
           image);
    ExpectGreyBlocks(image, secondScan);
}

TEST(ScanDrivers, ProgressiveScansRestartToo) {
    // DC first pass with Al = 1, then the refinement bit of every block; one
    // block per restart interval in both scans.
    const std::vector<int> dc = {3, -4, 5, -6, 7, -8, 9, -10, 11};
    const unsigned bits[] = {1, 0, 1, 1, 0, 0, 1, 0, 1};
    Bytes refinement;
    std::vector<int> expected;
    for (std::size_t i = 0; i < dc.size(); ++i) {
        if (i > 0) Append(refinement, {0xFF, static_cast<std::uint8_t>(kRst0 + (i - 1) % 8)});
        Append(refinement, BitWriter().Bits(bits[i], 1).Finish());
        expected.push_back(dc[i] * 2 | static_cast<int>(bits[i]));
    }
    JpegDecoder decoder;
    RasterImage image;
    Decode(decoder,
           WithTables()
               .Dri(1)
               .GreyFrame(kSof2, 72, 8)
               .GreyScan(0, 0, 0x01)
               .Raw(InIntervals(dc, 1, false))
               .GreyScan(0, 0, 0x10)
               .Raw(refinement)
               .Eoi(),
           image);
    ExpectGreyBlocks(image, expected);
}

TEST(ScanDrivers, InterleavedMcuOrder) {
    // 32 × 16 with Y 2×2 and Cb, Cr 1×1: two MCUs. Y block (row, column) gets
    // the DC value luma[row][column]; the second MCU's Cb is +20.
    const int luma[2][4] = {{-40, -20, -30, -10}, {0, 20, 10, 30}};
    const int cb[2] = {0, 20};
    for (std::uint16_t interval : {0, 1}) {
        SCOPED_TRACE(interval);
        Bytes data;
        BitWriter writer;
        int predictor[3] = {0, 0, 0};
        for (int mcu = 0; mcu < 2; ++mcu) {
            if (mcu == 1 && interval == 1) {
                Append(data, writer.Finish());
                Append(data, {0xFF, kRst0});
                writer = BitWriter();
                predictor[0] = predictor[1] = predictor[2] = 0;
            }
            for (int row = 0; row < 2; ++row)
                for (int column = 2 * mcu; column < 2 * mcu + 2; ++column) {
                    writer.Dc(luma[row][column] - predictor[0]).EndOfBlock();
                    predictor[0] = luma[row][column];
                }
            writer.Dc(cb[mcu] - predictor[1]).EndOfBlock();
            predictor[1] = cb[mcu];
            writer.Dc(0).EndOfBlock();
        }
        Append(data, writer.Finish());
        JpegDecoder decoder;
        RasterImage image;
        Decode(decoder,
               WithTables()
                   .Dri(interval)
                   .Sof(kSof0, 32, 16, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}})
                   .Sos({{1, 0x00}, {2, 0x00}, {3, 0x00}})
                   .Raw(data)
                   .Eoi(),
               image);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x) {
                const std::uint32_t s = static_cast<std::uint32_t>(128 + luma[y / 8][x / 8]);
                // Cb 148: blue + 35 (1.772 · 20 = 35.44), green − 7 (0.34414 · 20 = 6.88).
                const std::uint32_t expected =
                    x < 16 ? GreyPixel(s) : 0xFF000000u | s << 16 | (s - 7) << 8 | (s + 35);
                ASSERT_EQ(PixelAt(image, x, y), expected) << x << "," << y;
            }
    }
}

TEST(ScanDrivers, NonInterleavedScansCoverOnlyThePicture) {
    // 17 × 17, Y 2×2: the Y grid is 4 × 4 blocks but its scan codes 3 × 3;
    // Cb and Cr scans code 2 × 2.
    std::vector<int> lumaValues;
    for (int i = 0; i < 9; ++i) lumaValues.push_back(10 * i - 40);
    JpegDecoder decoder;
    RasterImage image;
    Decode(decoder,
           WithTables()
               .Sof(kSof0, 17, 17, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}})
               .Sos({{1, 0x00}})
               .Raw(DcOnlyBlocks(lumaValues))
               .Sos({{2, 0x00}})
               .Raw(DcOnlyBlocks({0, 0, 0, 0}))
               .Sos({{3, 0x00}})
               .Raw(DcOnlyBlocks({0, 0, 0, 0}))
               .Eoi(),
           image);
    EXPECT_EQ(decoder.Component(0).ScanBlockColumns(), 3u);
    EXPECT_EQ(decoder.Component(1).ScanBlockRows(), 2u);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 17; ++x)
            ASSERT_EQ(PixelAt(image, x, y),
                      GreyPixel(static_cast<std::uint32_t>(128 + lumaValues[y / 8 * 3 + x / 8])))
                << x << "," << y;
}

TEST(ScanDrivers, FirstDcScanAloneGivesTheApproximation) {
    JpegDecoder decoder;
    RasterImage image;
    Decode(decoder,
           WithTables()
               .GreyFrame(kSof2, 16, 8)
               .GreyScan(0, 0, 0x01)
               .Raw(BitWriter().Dc(5).Dc(-12).Finish())
               .Eoi(),
           image);
    ExpectGreyBlocks(image, {10, -14});
}

// DC first and refinement, AC band and AC refinement of one block: DC 3 << 1
// refined to 7, +1 << 1 at zigzag 1 refined to 3.
Bytes FullProgressiveBlock(int acValue) {
    return WithTables()
        .GreyFrame(kSof2, 8, 8)
        .GreyScan(0, 0, 0x01)
        .Raw(BitWriter().Dc(3).Finish())
        .GreyScan(0, 0, 0x10)
        .Raw(BitWriter().Bits(1, 1).Finish())
        .GreyScan(1, 63, 0x01)
        .Raw(BitWriter().Ac(0, acValue).EndOfBlock().Finish())
        .GreyScan(1, 63, 0x10)
        .Raw(BitWriter().EndOfBlock().Bits(1, 1).Finish())
        .Eoi();
}

std::array<std::uint8_t, 64> ExpectedSamples(std::int16_t dc, std::int16_t first) {
    const Bytes eights(64, 8);
    MemoryStream stream(eights);
    QuantTable table;
    table.LoadTable(stream, 0);
    std::array<std::int16_t, 64> coefficients{};
    coefficients[0] = dc;
    coefficients[1] = first;
    std::array<std::uint8_t, 64> samples{};
    InverseDctPortable(samples.data(), 8, coefficients.data(), table.multipliers);
    return samples;
}

void ExpectSamples(const RasterImage& image, const std::array<std::uint8_t, 64>& samples) {
    ASSERT_EQ(image.Width(), 8);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(image.Pixels()[i], GreyPixel(samples[i])) << i;
}

TEST(ScanDrivers, ProgressivePassesAccumulate) {
    JpegDecoder decoder;
    RasterImage image;
    Decode(decoder, FullProgressiveBlock(1), image);
    ExpectSamples(image, ExpectedSamples(7, 3));
    Decode(decoder, FullProgressiveBlock(-1), image);
    ExpectSamples(image, ExpectedSamples(7, -3));
}

TEST(ScanDrivers, EndOfBandRunDoesNotOutliveItsPicture) {
    // An AC scan of two blocks that announces a run of four (r = 2, bits 01).
    JpegDecoder decoder;
    RasterImage image;
    Decode(decoder,
           WithTables()
               .GreyFrame(kSof2, 16, 8)
               .GreyScan(0, 0, 0x00)
               .Raw(BitWriter().Dc(0).Dc(0).Finish())
               .GreyScan(1, 63, 0x00)
               .Raw(BitWriter().Symbol(0x20).Bits(0b01, 2).Finish())
               .Eoi(),
           image);
    // The next picture's AC scan decodes its block: the run ended with its picture.
    Decode(decoder, FullProgressiveBlock(1), image);
    ExpectSamples(image, ExpectedSamples(7, 3));
}

// Two grey blocks, DC 0, whose first AC band (1..5) announces a run that
// outlasts its scan or interval, then a second band (6..63) with +1 at 6 in
// block 0 (interval: each block its own restart interval).
Bytes OverlongRun(bool restartEveryBlock, const Bytes& firstBand) {
    StreamBuilder builder = WithTables();
    if (restartEveryBlock) builder.Dri(1);
    builder.GreyFrame(kSof2, 16, 8).GreyScan(0, 0, 0x00);
    if (restartEveryBlock)
        builder.Raw(BitWriter().Dc(0).Finish()).Raw({0xFF, 0xD0}).Raw(BitWriter().Dc(0).Finish());
    else
        builder.Raw(BitWriter().Dc(0).Dc(0).Finish());
    builder.GreyScan(1, 5, 0x00).Raw(firstBand).GreyScan(6, 63, 0x00);
    if (restartEveryBlock)
        builder.Raw(BitWriter().Ac(0, 1).EndOfBlock().Finish())
            .Raw({0xFF, 0xD0})
            .Raw(BitWriter().EndOfBlock().Finish());
    else
        builder.Raw(BitWriter().Ac(0, 1).EndOfBlock().EndOfBlock().Finish());
    return builder.Eoi();
}

TEST(ScanDrivers, TolerantEndOfBandRunEndsWithItsScanOrInterval) {
    // A run of four (r = 2, bits 01) where two blocks or one remain.
    const Bytes overlong = BitWriter().Symbol(0x20).Bits(0b01, 2).Finish();
    const Bytes overlongInIntervals = [] {
        Bytes d = BitWriter().Symbol(0x20).Bits(0b01, 2).Finish();
        Append(d, {0xFF, 0xD0});
        Append(d, BitWriter().EndOfBlock().Finish());
        return d;
    }();
    // What a well-formed stream says: each block's band ends at once.
    const Bytes exact = BitWriter().EndOfBlock().EndOfBlock().Finish();
    const Bytes exactInIntervals = [] {
        Bytes d = BitWriter().EndOfBlock().Finish();
        Append(d, {0xFF, 0xD0});
        Append(d, BitWriter().EndOfBlock().Finish());
        return d;
    }();
    struct Case {
        const char* name;
        bool intervals;
        Bytes firstBand, wellFormed;
    };
    const Case cases[] = {
        {"run past the scan's end", false, overlong, exact},
        {"run past a restart marker", true, overlongInIntervals, exactInIntervals}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes expected = OverlongRun(c.intervals, c.wellFormed);
        const Bytes damaged = OverlongRun(c.intervals, c.firstBand);
        const Image reference = DecodeJpeg(expected.data(), expected.size());
        const Image tolerant = DecodeJpeg(damaged.data(), damaged.size());
        EXPECT_EQ(tolerant.pixels, reference.pixels);
        // The coefficient of the second band is there: block 0 is not flat.
        EXPECT_NE(reference.pixels[0], reference.pixels[4 * 7]);
        // Strict decodes carry the run on, as they always have: the second
        // band's first block is passed over, so its data is misread or refused.
        bool strictDiffers = true;
        try {
            strictDiffers = DecodeJpeg(damaged.data(), damaged.size(), {.strict = true}).pixels !=
                            reference.pixels;
        } catch (const JpegError&) {
        }
        EXPECT_TRUE(strictDiffers);
    }
}

}  // namespace
}  // namespace Tessera::Testing
