#include "jpeg/jpeg_component.h"

#include <gtest/gtest.h>

#include "stream_builder.h"

namespace Tessera::Testing {
namespace {

JpegComponent ComponentWith(unsigned h, unsigned v) {
    JpegComponent component;
    component.SetHorizontalSampling(h);
    component.SetVerticalSampling(v);
    return component;
}

TEST(JpegComponent, SamplingFactorsOneToFour) {
    for (unsigned factor = 0; factor <= 16; ++factor) {
        JpegComponent component = ComponentWith(2, 3);
        if (factor >= 1 && factor <= 4) {
            EXPECT_EQ(component.SetHorizontalSampling(factor), factor);
            EXPECT_EQ(component.SetVerticalSampling(factor), factor);
            EXPECT_EQ(component.HorizontalSampling(), factor);
            EXPECT_EQ(component.VerticalSampling(), factor);
            continue;
        }
        ExpectFailure([&] { component.SetHorizontalSampling(factor); }, Raised::JpegError,
                      "Sampling Frequency Outside the Range 1-4");
        ExpectFailure([&] { component.SetVerticalSampling(factor); }, Raised::JpegError,
                      "Vertical Sampling Frequency Outside the Range 1-4");
        EXPECT_EQ(component.HorizontalSampling(), 2u);
        EXPECT_EQ(component.VerticalSampling(), 3u);
    }
}

TEST(JpegComponent, GeometryOfSubsampledFrame) {
    // 100 × 75 with Y 2×2: MCUs of 16 × 16, 7 columns and 5 rows of them.
    const auto decoder =
        DecoderWithFrame(kSof0, 100, 75, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    struct Case {
        unsigned h, v;
        unsigned upsampling, blockColumns, blockRows, scanColumns, scanRows;
    };
    const Case cases[] = {{2, 2, 1, 14, 10, 13, 10}, {1, 1, 2, 7, 5, 7, 5}};
    for (const Case& c : cases) {
        JpegComponent component = ComponentWith(c.h, c.v);
        component.AllocateBuffers(*decoder);
        component.EnsureBlockRows(component.BlockRows());
        EXPECT_EQ(component.HorizontalUpsampling(), c.upsampling);
        EXPECT_EQ(component.VerticalUpsampling(), c.upsampling);
        EXPECT_EQ(component.BlockColumns(), c.blockColumns);
        EXPECT_EQ(component.BlockRows(), c.blockRows);
        EXPECT_EQ(component.ScanBlockColumns(), c.scanColumns);
        EXPECT_EQ(component.ScanBlockRows(), c.scanRows);
        EXPECT_EQ(component.Samples().size(), c.blockColumns * c.blockRows * 64);
        EXPECT_EQ(component.SampleStride(), c.blockColumns * 8);
        EXPECT_FALSE(component.HasCoefficients());  // sequential frame
    }
}

TEST(JpegComponent, GeometryOfGreyFrame) {
    const auto decoder = DecoderWithFrame(kSof0, 17, 9, {{1, 0x11, 0}});
    JpegComponent component = ComponentWith(1, 1);
    component.AllocateBuffers(*decoder);
    component.EnsureBlockRows(component.BlockRows());
    EXPECT_EQ(component.BlockColumns(), 3u);
    EXPECT_EQ(component.BlockRows(), 2u);
    EXPECT_EQ(component.ScanBlockColumns(), 3u);
    EXPECT_EQ(component.ScanBlockRows(), 2u);
    ASSERT_EQ(component.Samples().size(), 6u * 64);
    for (std::uint8_t s : component.Samples()) ASSERT_EQ(s, 0);
}

TEST(JpegComponent, LaterScansOfAPictureAllocateNothing) {
    const auto decoder = DecoderWithFrame(kSof2, 16, 8, {{1, 0x11, 0}});
    JpegComponent component = ComponentWith(1, 1);
    component.AllocateBuffers(*decoder);
    component.EnsureBlockRows(component.BlockRows());
    ASSERT_EQ(component.Coefficients().size(), 2u * 64);
    for (std::int16_t c : component.Coefficients()) ASSERT_EQ(c, 0);
    component.Coefficients()[64] = 77;
    const std::uint8_t* samples = component.Samples().data();
    component.AllocateBuffers(*decoder);
    EXPECT_EQ(component.Coefficients()[64], 77);
    EXPECT_EQ(component.Samples().data(), samples);
}

TEST(JpegComponent, ReleaseKeepsGeometryAndFactors) {
    JpegComponent empty;
    empty.ReleaseBuffers();
    EXPECT_FALSE(empty.HasSamples());

    const auto decoder = DecoderWithFrame(kSof2, 16, 8, {{1, 0x11, 0}});
    JpegComponent component = ComponentWith(1, 1);
    component.AllocateBuffers(*decoder);
    component.EnsureBlockRows(component.BlockRows());
    component.SetEobRun(5);
    component.ReleaseBuffers();
    EXPECT_FALSE(component.HasSamples());
    EXPECT_FALSE(component.HasCoefficients());
    EXPECT_EQ(component.EobRun(), 0u);
    EXPECT_EQ(component.BlockColumns(), 2u);
    EXPECT_EQ(component.HorizontalSampling(), 1u);
}

TEST(JpegComponent, TableChecks) {
    const QuantTable undefinedQuant;
    const QuantTable quant = UniformQuantTable(1);
    const HuffmanTable undefinedHuffman;
    HuffmanTable huffman;
    const Bytes body = TableBody(kDcTable);
    MemoryStream stream(body);
    huffman.LoadTable(stream);

    JpegComponent component;
    ExpectFailure([&] { component.CheckQuantTable(); }, Raised::JpegError,
                  "INTERNAL ERROR - Quantization Table Not Assigned");
    ExpectFailure([&] { component.CheckDcTable(); }, Raised::JpegError, "DC Table Not Defined");
    ExpectFailure([&] { component.CheckAcTable(); }, Raised::BadStream, "AC Table Not Defined");

    component.SetQuantTable(undefinedQuant);
    ExpectFailure([&] { component.CheckQuantTable(); }, Raised::BadStream,
                  "Quantization Table Not Defined");
    component.SetQuantTable(quant);
    EXPECT_NO_THROW(component.CheckQuantTable());

    component.SetHuffmanTables(undefinedHuffman, huffman);
    ExpectFailure([&] { component.CheckDcTable(); }, Raised::JpegError, "DC Table Not Defined");
    EXPECT_NO_THROW(component.CheckAcTable());
    component.SetHuffmanTables(huffman, undefinedHuffman);
    EXPECT_NO_THROW(component.CheckDcTable());
    ExpectFailure([&] { component.CheckAcTable(); }, Raised::BadStream, "AC Table Not Defined");
}

TEST(JpegComponent, TransformMcuRowNeedsCoefficients) {
    const QuantTable quant = UniformQuantTable(8);
    const auto sequential = DecoderWithFrame(kSof0, 8, 8, {{1, 0x11, 0}});
    JpegComponent component = ComponentWith(1, 1);
    component.SetQuantTable(quant);
    component.AllocateBuffers(*sequential);
    component.EnsureBlockRows(component.BlockRows());
    component.TransformMcuRow(0);
    EXPECT_EQ(component.SampleRow(0)[0], 0);  // untouched

    const auto progressive = DecoderWithFrame(kSof2, 16, 8, {{1, 0x11, 0}});
    JpegComponent blocks = ComponentWith(1, 1);
    blocks.SetQuantTable(quant);
    blocks.AllocateBuffers(*progressive);
    blocks.EnsureBlockRows(blocks.BlockRows());
    blocks.Coefficients()[64] = -28;
    blocks.TransformMcuRow(0);
    // Block 1 holds columns 8..15 of the sample rows.
    EXPECT_EQ(blocks.SampleRow(7)[7], 128);
    EXPECT_EQ(blocks.SampleRow(0)[8], 100);
    EXPECT_EQ(blocks.SampleRow(7)[15], 100);
}

TEST(JpegComponent, PlanesOfSubsampledPictureCoverIt) {
    const auto decoder =
        DecoderWithFrame(kSof0, 100, 75, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    for (unsigned factor : {2u, 1u}) {
        JpegComponent component = ComponentWith(factor, factor);
        component.AllocateBuffers(*decoder);
        component.EnsureBlockRows(component.BlockRows());
        EXPECT_EQ(component.UpsampledWidth(), 112u);
        EXPECT_EQ(component.ReachedSampleRows() * component.VerticalUpsampling(), 80u);
    }
}

}  // namespace
}  // namespace Tessera::Testing
