#include "jpeg/jpeg_component.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "stream_builder.h"

namespace Tessera::Testing {
namespace {

TEST(JpegComponent, GeometryOfSubsampledFrame) {
    // 100 × 75 with Y 2×2: MCUs of 16 × 16, 7 columns and 5 rows of them.
    const auto frame = FrameOf(kSof0, 100, 75, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    struct Case {
        unsigned h, v;
        unsigned upsampling, blockColumns, blockRows, scanColumns, scanRows;
    };
    const Case cases[] = {{2, 2, 1, 14, 10, 13, 10}, {1, 1, 2, 7, 5, 7, 5}};
    for (const Case& c : cases) {
        const JpegComponent component = ComponentIn(frame, c.h, c.v);
        EXPECT_EQ(component.HorizontalUpsampling(), c.upsampling);
        EXPECT_EQ(component.VerticalUpsampling(), c.upsampling);
        EXPECT_EQ(component.BlockColumns(), c.blockColumns);
        EXPECT_EQ(component.BlockRows(), c.blockRows);
        EXPECT_EQ(component.ScanBlockColumns(), c.scanColumns);
        EXPECT_EQ(component.ScanBlockRows(), c.scanRows);
        EXPECT_EQ(component.Samples().size(), c.blockColumns * c.blockRows * 64);
        EXPECT_EQ(component.SampleStride(), c.blockColumns * 8);
        EXPECT_FALSE(component.HasCoefficients());  // sequential frame
        // Both cover the picture once up-sampled.
        EXPECT_EQ(component.UpsampledWidth(), 112u);
        EXPECT_EQ(component.ReachedSampleRows() * component.VerticalUpsampling(), 80u);
    }
}

TEST(JpegComponent, GeometryOfGreyFrame) {
    const JpegComponent component = ComponentIn(FrameOf(kSof0, 17, 9, {{1, 0x11, 0}}), 1, 1);
    EXPECT_EQ(component.BlockColumns(), 3u);
    EXPECT_EQ(component.BlockRows(), 2u);
    EXPECT_EQ(component.ScanBlockColumns(), 3u);
    EXPECT_EQ(component.ScanBlockRows(), 2u);
    ASSERT_EQ(component.Samples().size(), 6u * 64);
    for (std::uint8_t s : component.Samples()) ASSERT_EQ(s, 0);
}

TEST(JpegComponent, LaterScansOfAPictureAllocateNothing) {
    JpegComponent component = ComponentIn(FrameOf(kSof2, 16, 8, {{1, 0x11, 0}}), 1, 1);
    ASSERT_EQ(component.Coefficients().size(), 2u * 64);
    for (std::int16_t c : component.Coefficients()) ASSERT_EQ(c, 0);
    component.BlockCoefficients(0, 1)[0] = 77;
    const std::uint8_t* samples = component.Samples().data();
    component.AllocateBuffers(true, false);
    EXPECT_EQ(component.Coefficients()[64], 77);
    EXPECT_EQ(component.Samples().data(), samples);
}

TEST(JpegComponent, ReleaseKeepsGeometry) {
    JpegComponent empty;
    empty.ReleaseBuffers();
    EXPECT_FALSE(empty.HasSamples());

    JpegComponent component = ComponentIn(FrameOf(kSof2, 16, 8, {{1, 0x11, 0}}), 1, 1);
    component.ReleaseBuffers();
    EXPECT_FALSE(component.HasSamples());
    EXPECT_FALSE(component.HasCoefficients());
    EXPECT_FALSE(component.Prepared());
    EXPECT_EQ(component.BlockColumns(), 2u);
    EXPECT_EQ(component.HorizontalSampling(), 1u);
}

TEST(JpegComponent, TransformMcuRowNeedsCoefficients) {
    const QuantTable quant = UniformQuantTable(8);
    JpegComponent component = ComponentIn(FrameOf(kSof0, 8, 8, {{1, 0x11, 0}}), 1, 1, &quant);
    component.TransformMcuRow(0);
    EXPECT_EQ(component.SampleRow(0)[0], 0);  // untouched

    JpegComponent blocks = ComponentIn(FrameOf(kSof2, 16, 8, {{1, 0x11, 0}}), 1, 1, &quant);
    blocks.DcCoefficient(0, 1) = -28;
    blocks.TransformMcuRow(0);
    // Block 1 holds columns 8..15 of the sample rows.
    EXPECT_EQ(blocks.SampleRow(7)[7], 128);
    EXPECT_EQ(blocks.SampleRow(0)[8], 100);
    EXPECT_EQ(blocks.SampleRow(7)[15], 100);
}

TEST(JpegComponent, StoredAndFilledBlocks) {
    const QuantTable quant = UniformQuantTable(8);
    JpegComponent component = ComponentIn(FrameOf(kSof0, 16, 8, {{1, 0x11, 0}}), 1, 1, &quant);
    alignas(16) std::int16_t natural[64] = {};
    natural[0] = 5;  // DC 5 × 8 / 8 = +5
    component.StoreBlock(0, 0, natural);
    component.FillBlock(0, 1);  // no data: the transform of zeros, mid-grey
    EXPECT_EQ(component.SampleRow(3)[3], 133);
    EXPECT_EQ(component.SampleRow(3)[11], 128);
}

// A band of one block row reused row after row: blocks that no data reaches
// (before, between and after those stored) read as unreached samples, never
// as what the row before left in the band.
TEST(JpegComponent, BandRowsWithoutDataAreUnreached) {
    const QuantTable quant = UniformQuantTable(8);
    JpegComponent component;
    JpegComponent::Setup setup;
    setup.quantTable = &quant;
    setup.unreachedSample = 77;
    component.SetGeometry({}, FrameOf(kSof0, 32, 24, {{1, 0x11, 0}}), setup);
    component.AllocateBuffers(false, true);
    alignas(16) std::int16_t natural[64] = {};
    natural[0] = 40;  // DC 40 × 8 / 8: samples 168
    const struct {
        unsigned row;
        std::vector<unsigned> stored;
    } rows[] = {{0, {0, 1, 2, 3}}, {1, {1, 3}}, {2, {0}}};
    for (const auto& row : rows) {
        for (unsigned col : row.stored) component.StoreBlock(row.row, col, natural);
        component.FinishBandRows();
        for (unsigned col = 0; col < 4; ++col) {
            const bool stored =
                std::find(row.stored.begin(), row.stored.end(), col) != row.stored.end();
            for (unsigned y : {0u, 7u})
                EXPECT_EQ(component.SampleRow(8 * row.row + y)[8 * col + 4], stored ? 168 : 77)
                    << "row " << row.row << ", block " << col;
        }
    }
}

}  // namespace
}  // namespace Tessera::Testing
