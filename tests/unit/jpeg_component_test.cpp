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
        EXPECT_EQ(component.SampleBlocks().size(), c.blockColumns * c.blockRows);
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
    for (const SampleBlock& block : component.SampleBlocks())
        for (std::uint8_t s : block.samples) ASSERT_EQ(s, 0);
}

TEST(JpegComponent, LaterScansOfAPictureAllocateNothing) {
    const auto decoder = DecoderWithFrame(kSof2, 16, 8, {{1, 0x11, 0}});
    JpegComponent component = ComponentWith(1, 1);
    component.AllocateBuffers(*decoder);
    component.EnsureBlockRows(component.BlockRows());
    ASSERT_EQ(component.Coefficients().size(), 2u * 64);
    for (std::int16_t c : component.Coefficients()) ASSERT_EQ(c, 0);
    component.Coefficients()[64] = 77;
    const SampleBlock* blocks = component.SampleBlocks().data();
    component.AllocateBuffers(*decoder);
    EXPECT_EQ(component.Coefficients()[64], 77);
    EXPECT_EQ(component.SampleBlocks().data(), blocks);
}

TEST(JpegComponent, ReleaseKeepsGeometryAndFactors) {
    JpegComponent empty;
    empty.ReleaseBuffers();
    EXPECT_FALSE(empty.HasSampleBlocks());

    const auto decoder = DecoderWithFrame(kSof2, 16, 8, {{1, 0x11, 0}});
    JpegComponent component = ComponentWith(1, 1);
    component.AllocateBuffers(*decoder);
    component.EnsureBlockRows(component.BlockRows());
    component.SetEobRun(5);
    component.ReleaseBuffers();
    EXPECT_FALSE(component.HasSampleBlocks());
    EXPECT_FALSE(component.HasCoefficients());
    EXPECT_FALSE(component.HasPlane());
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

TEST(JpegComponent, TransformAllBlocksNeedsCoefficients) {
    const QuantTable quant = UniformQuantTable(8);
    const auto sequential = DecoderWithFrame(kSof0, 8, 8, {{1, 0x11, 0}});
    JpegComponent component = ComponentWith(1, 1);
    component.SetQuantTable(quant);
    component.AllocateBuffers(*sequential);
    component.EnsureBlockRows(component.BlockRows());
    component.TransformAllBlocks();
    EXPECT_EQ(component.SampleBlocks()[0].samples[0], 0);  // untouched

    const auto progressive = DecoderWithFrame(kSof2, 16, 8, {{1, 0x11, 0}});
    JpegComponent blocks = ComponentWith(1, 1);
    blocks.SetQuantTable(quant);
    blocks.AllocateBuffers(*progressive);
    blocks.EnsureBlockRows(blocks.BlockRows());
    blocks.Coefficients()[64] = -28;
    blocks.TransformAllBlocks();
    EXPECT_EQ(blocks.SampleBlocks()[0].samples[63], 128);
    EXPECT_EQ(blocks.SampleBlocks()[1].samples[0], 100);
}

TEST(JpegComponent, UpsampleCopiesBlocksSideBySide) {
    const auto decoder = DecoderWithFrame(kSof0, 16, 16, {{1, 0x11, 0}});
    JpegComponent component = ComponentWith(1, 1);
    EXPECT_NO_THROW(component.Upsample());  // no sample blocks, no plane
    EXPECT_FALSE(component.HasPlane());
    component.AllocateBuffers(*decoder);
    component.EnsureBlockRows(component.BlockRows());
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 64; ++i)
            component.SampleBlocks()[b].samples[i] = static_cast<std::uint8_t>(b * 64 + i);
    component.Upsample();
    ASSERT_EQ(component.PlaneWidth(), 16u);
    ASSERT_EQ(component.Plane().size(), 256u);
    // Plane row R, column X comes from block (R / 8, X / 8), sample (R % 8, X % 8).
    for (int r = 0; r < 16; ++r)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(component.Plane()[16 * r + x], (r / 8 * 2 + x / 8) * 64 + r % 8 * 8 + x % 8)
                << r << "," << x;
}

TEST(JpegComponent, UpsampleRepeatsSubsampledSamples) {
    struct Case {
        std::uint8_t lumaSampling;
        unsigned h, v;
    };
    for (const Case& c : {Case{0x22, 2, 2}, Case{0x21, 2, 1}, Case{0x13, 1, 3}, Case{0x41, 4, 1}}) {
        SCOPED_TRACE(int{c.lumaSampling});
        const auto decoder =
            DecoderWithFrame(kSof0, 8, 8, {{1, c.lumaSampling, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
        JpegComponent chroma = ComponentWith(1, 1);
        chroma.AllocateBuffers(*decoder);
        chroma.EnsureBlockRows(chroma.BlockRows());
        ASSERT_EQ(chroma.SampleBlocks().size(), 1u);
        for (int i = 0; i < 64; ++i)
            chroma.SampleBlocks()[0].samples[i] = static_cast<std::uint8_t>(i);
        chroma.Upsample();
        ASSERT_EQ(chroma.PlaneWidth(), 8 * c.h);
        ASSERT_EQ(chroma.Plane().size(), 64 * c.h * c.v);
        for (unsigned r = 0; r < 8 * c.v; ++r)
            for (unsigned x = 0; x < 8 * c.h; ++x)
                ASSERT_EQ(chroma.Plane()[r * 8 * c.h + x], r / c.v * 8 + x / c.h) << r << "," << x;
    }
}

TEST(JpegComponent, PlanesOfSubsampledPictureCoverIt) {
    const auto decoder =
        DecoderWithFrame(kSof0, 100, 75, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    for (unsigned factor : {2u, 1u}) {
        JpegComponent component = ComponentWith(factor, factor);
        component.AllocateBuffers(*decoder);
        component.EnsureBlockRows(component.BlockRows());
        component.Upsample();
        EXPECT_EQ(component.PlaneWidth(), 112u);
        EXPECT_EQ(component.Plane().size(), 112u * 80);
    }
}

}  // namespace
}  // namespace Tessera::Testing
