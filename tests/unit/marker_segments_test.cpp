// The decode loop and the marker segments, driven with hand-built streams.
#include <gtest/gtest.h>

#include "stream_builder.h"

namespace Tessera::Testing {
namespace {

// An 8 × 8 grey picture whose single block has the given DC value.
StreamBuilder GreyBlockUpToData(int dc) {
    StreamBuilder builder;
    builder.Start().Tables().GreyFrame(kSof0, 8, 8).GreyScan().Raw(DcOnlyBlocks({dc}));
    return builder;
}

Bytes GreyBlock(int dc) {
    return GreyBlockUpToData(dc).Eoi();
}

void ExpectGrey(const RasterImage& image, int width, int height, std::uint32_t sample) {
    ASSERT_EQ(image.Width(), width);
    ASSERT_EQ(image.Height(), height);
    for (int i = 0; i < width * height; ++i) ASSERT_EQ(image.Pixels()[i], GreyPixel(sample)) << i;
}

Bytes Payload(std::initializer_list<std::uint8_t> head, std::size_t size, std::uint8_t fill) {
    Bytes payload(head);
    payload.resize(size, fill);
    return payload;
}

struct FailureCase {
    const char* name;
    Bytes stream;
    Raised raised;
    const char* message;
};

class DecodeFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DecodeFailure, RaisesItsMessage) {
    JpegDecoder decoder;
    RasterImage image;
    ExpectFailure([&] { Decode(decoder, GetParam().stream, image); }, GetParam().raised,
                  GetParam().message);
}

StreamBuilder GreyFrame() {
    StreamBuilder builder;
    builder.Start().Tables().GreyFrame(kSof0, 8, 8);
    return builder;
}
StreamBuilder ProgressiveFrame() {
    StreamBuilder builder;
    builder.Start().Tables().GreyFrame(kSof2, 8, 8);
    return builder;
}
StreamBuilder FrameWith(std::vector<FrameComponent> components) {
    StreamBuilder builder;
    builder.Start().Tables().Sof(kSof0, 8, 8, components);
    return builder;
}
Bytes RawFrame(std::initializer_list<std::uint8_t> payload) {
    return WithTables().Segment(0xC0, payload).Eoi();
}
Bytes Truncated(const Bytes& bytes, std::size_t size) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}
const Bytes kJfifBody = {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0};

const FailureCase kStartFailures[] = {
    {"NoSoi", {0x00, 0xD8, 0xFF, 0xE0}, Raised::BadStream, "Missing SOI Marker"},
    {"EoiFirst", {0xFF, 0xD9}, Raised::BadStream, "Missing SOI Marker"},
    {"Empty", {}, Raised::BadStream, "Missing SOI Marker"},
    {"App1First", StreamBuilder().Soi().Segment(0xE1, kJfifBody).Eoi(), Raised::BadStream,
     "Missing JFIF APP0 Marker"},
    {"FillBeforeApp0", StreamBuilder().Soi().Raw({0xFF}).Jfif().Eoi(), Raised::BadStream,
     "Missing JFIF APP0 Marker"},
    {"NotJfif",
     StreamBuilder().Soi().Segment(0xE0, {'J', 'F', 'X', 'X', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0}).Eoi(),
     Raised::BadStream, "Not a JFIF file"},
};
INSTANTIATE_TEST_SUITE_P(Start, DecodeFailure, ::testing::ValuesIn(kStartFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MarkerSegments, UnsupportedMarkers) {
    constexpr const char* kArithmetic = "Cannot read image - Arithmetic Coding covered by patents";
    constexpr const char* kUnknown = "Unknown, unsupported, or reserved marker encountered";
    const std::pair<std::uint8_t, const char*> cases[] = {
        {0xC3, "Lossless Huffman Coding Not Supported"},
        {0xC5, "Differential Sequential Huffman Coding Not Supported"},
        {0xC6, "Differential Progressive Huffman Coding Not Supported"},
        {0xC7, "Differential Lossless Huffman Coding Not Supported"},
        {0xC9, kArithmetic},
        {0xCA, kArithmetic},
        {0xCB, kArithmetic},
        {0xCD, kArithmetic},
        {0xCE, kArithmetic},
        {0xCF, kArithmetic},
        {0xDE, "DHP marker not supported"},
        {0xD0, kUnknown},
        {0xD7, kUnknown},
        {0xC8, kUnknown},
        {0xCC, kUnknown},
        {0xDC, kUnknown},
        {0xDF, kUnknown},
        {0xF0, kUnknown},
        {0xFD, kUnknown},
        {0x00, kUnknown},
        {0xBF, kUnknown},
    };
    for (const auto& [code, message] : cases) {
        JpegDecoder decoder;
        RasterImage image;
        ExpectFailure([&] { Decode(decoder, StreamBuilder().Start().Marker(code), image); },
                      Raised::BadStream, message);
    }
}

const FailureCase kTableFailures[] = {
    {"DhtIndex4", Begin().Dht(0x14, kDcTable).Eoi(), Raised::BadStream,
     "Huffman Table Index outside range [0..3]"},
    {"DhtCountOver256",
     Begin().Segment(0xC4, Payload({0x00, 0, 0, 0, 0, 0, 0, 0, 200, 57}, 300, 0)).Eoi(),
     Raised::BadStream, "Huffman count > 256"},
    {"DhtOverSubscribed", Begin().Dht(0x00, {{3}, {1, 2, 3}}).Eoi(), Raised::BadStream,
     "Bad Huffman Table"},
    {"DqtIndex4", Begin().Dqt(0x04).Eoi(), Raised::BadStream, "Quantization Table Index Too Large"},
    {"DqtPrecision1", Begin().Segment(0xDB, Payload({0x10}, 129, 1)).Eoi(), Raised::BadStream,
     "Only 8-bit Data is Supported"},
    {"DqtPrecision2", Begin().Segment(0xDB, Payload({0x20}, 65, 1)).Eoi(), Raised::BadStream,
     "Invalid Quantization Table Precision"},
    {"DqtZeroValue", Begin().Segment(0xDB, Payload({0x00, 1, 1, 0}, 65, 1)).Eoi(),
     Raised::BadStream, "Zero value in quantization table"},
};
INSTANTIATE_TEST_SUITE_P(Tables, DecodeFailure, ::testing::ValuesIn(kTableFailures),
                         [](const auto& info) { return std::string(info.param.name); });

const FailureCase kFrameFailures[] = {
    {"Precision12", RawFrame({12, 0, 8, 0, 8, 1, 1, 0x11, 0}), Raised::BadStream,
     "Only 8-bit data supported"},
    {"TwoComponents", RawFrame({8, 0, 8, 0, 8, 2, 1, 0x11, 0, 2, 0x11, 0}), Raised::BadStream,
     "JFIF only supports 1 and 3 component streams"},
    {"FourComponents", FrameWith({{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}}).Eoi(),
     Raised::BadStream, "JFIF only supports 1 and 3 component streams"},
    {"LengthOf16ForThree", RawFrame({8, 0, 8, 0, 8, 3, 1, 0x11, 0, 2, 0x11, 0, 3}),
     Raised::BadStream, "Invalid Frame Size"},
    {"QuantIndex4", FrameWith({{1, 0x11, 4}}).Eoi(), Raised::BadStream,
     "Bad Quantization Table Index"},
    {"HorizontalFactor0", FrameWith({{1, 0x01, 0}}).Eoi(), Raised::JpegError,
     "Sampling Frequency Outside the Range 1-4"},
    {"VerticalFactor5", FrameWith({{1, 0x15, 0}}).Eoi(), Raised::JpegError,
     "Vertical Sampling Frequency Outside the Range 1-4"},
    {"Identifier255", FrameWith({{255, 0x11, 0}}).Eoi(), Raised::BadStream,
     "Invalid Component Identifier"},
    {"FactorsNotDividing", FrameWith({{1, 0x31, 0}, {2, 0x21, 0}, {3, 0x11, 0}}).Eoi(),
     Raised::BadStream, "Unsupported Sampling Factors"},
    {"TooLarge", WithTables().GreyFrame(kSof0, 16385, 16384).Eoi(), Raised::BadStream,
     "Image Too Large"},
    {"SecondFrame", GreyFrame().GreyFrame(kSof0, 8, 8).Eoi(), Raised::BadStream,
     "Multiple Frame Headers Not Supported"},
};
INSTANTIATE_TEST_SUITE_P(Frame, DecodeFailure, ::testing::ValuesIn(kFrameFailures),
                         [](const auto& info) { return std::string(info.param.name); });

const FailureCase kScanFailures[] = {
    {"ScanBeforeFrame", WithTables().GreyScan().Raw(DcOnlyBlocks({0})).Eoi(), Raised::BadStream,
     "Scan found before frame defined"},
    {"NoScanComponents", GreyFrame().Sos({}).Eoi(), Raised::BadStream,
     "Invalid component count in scan"},
    {"FourScanComponents", GreyFrame().Sos({{1, 0}, {1, 0}, {1, 0}, {1, 0}}).Eoi(),
     Raised::BadStream, "Invalid component count in scan"},
    {"ComponentNotInFrame", GreyFrame().Sos({{2, 0x00}}).Eoi(), Raised::BadStream,
     "Component Not Defined"},
    {"Component255", GreyFrame().Sos({{255, 0x00}}).Eoi(), Raised::BadStream,
     "Component Not Defined"},
    {"DcSelector4", GreyFrame().Sos({{1, 0x40}}).Eoi(), Raised::BadStream,
     "Huffman Table Index outside range [0..3]"},
    {"AcSelector4", GreyFrame().Sos({{1, 0x04}}).Eoi(), Raised::BadStream,
     "Huffman Table Index outside range [0..3]"},
    {"QuantTableMissing",
     Begin().Dht(0x00, kDcTable).Dht(0x10, kAcTable).GreyFrame(kSof0, 8, 8).GreyScan().Eoi(),
     Raised::BadStream, "Quantization Table Not Defined"},
    {"EmptyDqt",
     Begin()
         .Segment(0xDB, {})
         .Dht(0x00, kDcTable)
         .Dht(0x10, kAcTable)
         .GreyFrame(kSof0, 8, 8)
         .GreyScan()
         .Eoi(),
     Raised::BadStream, "Quantization Table Not Defined"},
    {"DcTableMissing", Begin().Dqt().Dht(0x10, kAcTable).GreyFrame(kSof0, 8, 8).GreyScan().Eoi(),
     Raised::JpegError, "DC Table Not Defined"},
    {"AcTableMissing", Begin().Dqt().Dht(0x00, kDcTable).GreyFrame(kSof0, 8, 8).GreyScan().Eoi(),
     Raised::BadStream, "AC Table Not Defined"},
    {"UnusedTableSlot", GreyFrame().Sos({{1, 0x11}}).Eoi(), Raised::JpegError,
     "DC Table Not Defined"},
    {"ProgressiveDcAndAc", ProgressiveFrame().GreyScan(0, 63).Eoi(), Raised::BadStream,
     "Progressive scan contains DC and AC data"},
    {"SpectralEnd64", ProgressiveFrame().GreyScan(1, 64).Eoi(), Raised::BadStream,
     "Spectral Selection Outside the Range 0-63"},
};
INSTANTIATE_TEST_SUITE_P(Scan, DecodeFailure, ::testing::ValuesIn(kScanFailures),
                         [](const auto& info) { return std::string(info.param.name); });

const FailureCase kEndFailures[] = {
    {"EndAfterSegment", Begin().Dqt(), Raised::BadStream, "End of Image Marker Not Found"},
    {"EndAfterApp0", Begin(), Raised::BadStream, "End of Image Marker Not Found"},
    {"EndInsideSegment", Truncated(Begin().Segment(0xE1, Bytes(100, 0)), 30), Raised::BadStream,
     "End of Image Marker Not Found"},
    // A segment cut short reads zeros from the end of the data on.
    {"EndInsideQuantTable", Truncated(Begin().Dqt(), 40), Raised::BadStream,
     "Zero value in quantization table"},
    {"LoneTrailingFF", Begin().Dqt().Raw({0xFF}), Raised::BadStream, "Premature end of file"},
    {"TrailingFillBytes", Begin().Dqt().Raw({0xFF, 0xFF}), Raised::BadStream,
     "Premature end of file"},
    {"ExtraData", GreyBlockUpToData(0).Eoi().Raw({'x', 'y'}), Raised::BadStream,
     "Extra Data After End of Image Marker"},
    {"ExtraDataAfterLineEnd", GreyBlockUpToData(0).Eoi().Raw({13, 10, 'x', 'y'}), Raised::BadStream,
     "Extra Data After End of Image Marker"},
    // The scan's data stops in the middle of its only block.
    {"DataEndsInsideBlock", GreyFrame().GreyScan().Raw({0x00}), Raised::StreamError,
     "Premature end of file"},
    // Sixteen 1 bits match no code; the single bits then run out of data.
    {"DataEndsInsideCode", GreyFrame().GreyScan().Raw({0xFF, 0x00}), Raised::StreamError,
     "Premature end of stream"},
    // DC category 0 (00000), then 000 and the 11 of the EOI marker form the AC
    // code 00011 (run 1, category 0: the block ends); leaving the scan then
    // steps off the marker's 0xFF.
    {"MarkerInsideData", GreyFrame().GreyScan().Raw({0x00}).Eoi(), Raised::StreamError,
     "Invalid Marker in Compressed Stream"},
};
INSTANTIATE_TEST_SUITE_P(End, DecodeFailure, ::testing::ValuesIn(kEndFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MarkerSegments, GreyBlockDecodes) {
    JpegDecoder decoder;
    RasterImage image;
    Decode(decoder, GreyBlock(-28), image);
    ExpectGrey(image, 8, 8, 100);
}

TEST(MarkerSegments, AcceptedVariations) {
    struct Case {
        const char* name;
        Bytes stream;
    };
    const Bytes data = DcOnlyBlocks({30});
    const Case cases[] = {
        {"fifth identifier byte",
         StreamBuilder()
             .Soi()
             .Segment(0xE0, {'J', 'F', 'I', 'F', 'X', 1, 2, 0, 0, 1, 0, 1, 0, 0})
             .Tables()
             .GreyFrame(kSof0, 8, 8)
             .GreyScan()
             .Raw(data)
             .Eoi()},
        {"thumbnail skipped", StreamBuilder()
                                  .Soi()
                                  .Jfif(2, 1)
                                  .Tables()
                                  .GreyFrame(kSof0, 8, 8)
                                  .GreyScan()
                                  .Raw(data)
                                  .Eoi()},
        {"empty APP and COM segments", Begin()
                                           .Segment(0xE5, {})
                                           .Segment(0xFE, {})
                                           .Segment(0xEF, {0xFF, 0xD9})
                                           .Tables()
                                           .GreyFrame(kSof0, 8, 8)
                                           .GreyScan()
                                           .Raw(data)
                                           .Eoi()},
        {"fill bytes and stray bytes between segments", Begin()
                                                            .Raw({0xFF, 0xFF})
                                                            .Dqt()
                                                            .Raw({0x00, 0x12, 0xD9})
                                                            .Dht(0x00, kDcTable)
                                                            .Raw({0xFF, 0xFF, 0xFF})
                                                            .Dht(0x10, kAcTable)
                                                            .Marker(0xD8)
                                                            .GreyFrame(kSof0, 8, 8)
                                                            .GreyScan()
                                                            .Raw(data)
                                                            .Raw({0x7F})
                                                            .Eoi()},
        {"any non-zero class is AC", Begin()
                                         .Dqt()
                                         .Dht(0x00, kDcTable)
                                         .Dht(0x20, kAcTable)
                                         .GreyFrame(kSof0, 8, 8)
                                         .GreyScan()
                                         .Raw(data)
                                         .Eoi()},
        {"several tables in one segment", Begin()
                                              .Segment(0xDB, Payload({0x01}, 65, 3))
                                              .Segment(0xC4,
                                                       [] {
                                                           Bytes both = {0x00};
                                                           Append(both, TableBody(kDcTable));
                                                           both.push_back(0x10);
                                                           Append(both, TableBody(kAcTable));
                                                           return both;
                                                       }())
                                              .Raw({0xFF, 0xDB, 0x00, 0x43})
                                              .Raw(Payload({0x00}, 65, 8))
                                              .GreyFrame(kSof0, 8, 8)
                                              .GreyScan()
                                              .Raw(data)
                                              .Eoi()},
        // Lengths shorter than the tables they hold: the count goes below zero
        // and ends the segment after its first table.
        {"short table segment lengths", Begin()
                                            .Raw({0xFF, 0xDB, 0x00, 0x05})
                                            .Raw(Payload({0x00}, 65, 8))
                                            .Raw({0xFF, 0xC4, 0x00, 0x03, 0x00})
                                            .Raw(TableBody(kDcTable))
                                            .Dht(0x10, kAcTable)
                                            .GreyFrame(kSof0, 8, 8)
                                            .GreyScan()
                                            .Raw(data)
                                            .Eoi()},
        {"restart interval without markers due",
         Begin().Tables().Dri(5).GreyFrame(kSof0, 8, 8).GreyScan().Raw(data).Eoi()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JpegDecoder decoder;
        RasterImage image;
        ASSERT_NO_THROW(Decode(decoder, c.stream, image));
        ExpectGrey(image, 8, 8, 158);
    }
}

TEST(MarkerSegments, TrailingBytesAfterEndOfImage) {
    struct Case {
        Bytes trailer;
        bool accepted;
    };
    const Case cases[] = {
        {{}, true},         {{13, 10}, true},        {{10, 10, 13, 13, 10}, true},
        {{'x'}, true},      {{13, 10, 'x'}, true},   {{0xFF}, true},
        {{'x', 10}, false}, {{13, 'x', 'y'}, false}, {{0xFF, 0xD9}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.trailer));
        JpegDecoder decoder;
        RasterImage image;
        const Bytes stream = GreyBlockUpToData(10).Eoi().Raw(c.trailer);
        if (c.accepted)
            EXPECT_NO_THROW(Decode(decoder, stream, image));
        else
            ExpectFailure([&] { Decode(decoder, stream, image); }, Raised::BadStream,
                          "Extra Data After End of Image Marker");
        ExpectGrey(image, 8, 8, 138);  // filled either way
    }
}

TEST(MarkerSegments, PictureWithoutEndOfImageKeepsWhatWasDecoded) {
    JpegDecoder decoder;
    RasterImage image;
    ExpectFailure([&] { Decode(decoder, GreyBlockUpToData(-50), image); }, Raised::BadStream,
                  "End of Image Marker Not Found");
    ExpectGrey(image, 8, 8, 78);
}

TEST(MarkerSegments, FrameIdentifiersAreFreeChoices) {
    for (const std::array<std::uint8_t, 3>& ids :
         {std::array<std::uint8_t, 3>{0, 1, 2}, {82, 71, 66}, {3, 2, 1}}) {
        const Bytes stream =
            WithTables()
                .Sof(kSof0, 8, 8, {{ids[0], 0x11, 0}, {ids[1], 0x11, 0}, {ids[2], 0x11, 0}})
                .Sos({{ids[0], 0x00}, {ids[1], 0x00}, {ids[2], 0x00}})
                .Raw(
                    BitWriter().Dc(-60).EndOfBlock().Dc(0).EndOfBlock().Dc(0).EndOfBlock().Finish())
                .Eoi();
        JpegDecoder decoder;
        RasterImage image;
        ASSERT_NO_THROW(Decode(decoder, stream, image)) << int{ids[0]};
        ExpectGrey(image, 8, 8, 68);
    }
}

TEST(MarkerSegments, FrameGeometry) {
    struct Case {
        std::uint16_t width, height;
        std::uint8_t lumaSampling;
        unsigned mcuRows, mcuColumns;
    };
    const Case cases[] = {{336, 256, 0x22, 16, 21},
                          {100, 75, 0x11, 10, 13},
                          {1, 1, 0x11, 1, 1},
                          {8, 0, 0x11, 0, 1},
                          {17, 33, 0x12, 3, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        JpegDecoder decoder;
        RasterImage image;
        Decode(
            decoder,
            WithTables()
                .Sof(kSof0, c.width, c.height, {{1, c.lumaSampling, 0}, {2, 0x11, 0}, {3, 0x11, 0}})
                .Eoi(),
            image);
        EXPECT_EQ(decoder.McuRowCount(), c.mcuRows);
        EXPECT_EQ(decoder.McuColumnCount(), c.mcuColumns);
        EXPECT_EQ(decoder.PictureWidth(), c.width);
        EXPECT_EQ(decoder.PictureHeight(), c.height);
        // No scan: the image is sized and left all 0.
        ASSERT_EQ(image.Width(), c.width);
        ASSERT_EQ(image.Height(), c.height);
        for (int i = 0; i < c.width * c.height; ++i) ASSERT_EQ(image.Pixels()[i], 0u);
    }
}

TEST(MarkerSegments, OnePixelAndEmptyPictures) {
    JpegDecoder decoder;
    RasterImage image;
    Decode(decoder, WithTables().GreyFrame(kSof0, 1, 1).GreyScan().Raw(DcOnlyBlocks({7})).Eoi(),
           image);
    ExpectGrey(image, 1, 1, 135);
    // Height 0: no MCU rows, so the scan decodes nothing. Leaving bit mode
    // still steps past one byte, which must not be the marker's 0xFF.
    Decode(decoder, WithTables().GreyFrame(kSof0, 8, 0).GreyScan().Raw({0x00}).Eoi(), image);
    EXPECT_EQ(image.Width(), 8);
    EXPECT_EQ(image.Height(), 0);
}

TEST(MarkerSegments, DecoderServesPicturesInTurn) {
    JpegDecoder decoder;
    RasterImage image;
    Decode(decoder, GreyBlock(1), image);
    ExpectGrey(image, 8, 8, 129);
    // The second picture relies on the tables of the first.
    Decode(decoder, Begin().GreyFrame(kSof0, 16, 8).GreyScan().Raw(DcOnlyBlocks({2, 2})).Eoi(),
           image);
    ExpectGrey(image, 16, 8, 130);
    // A picture that breaks off inside its scan …
    ExpectFailure(
        [&] { Decode(decoder, Begin().GreyFrame(kSof0, 32, 32).GreyScan().Raw({0x00}), image); },
        Raised::StreamError, "Premature end of file");
    EXPECT_FALSE(decoder.Component(0).HasSamples());
    // … leaves nothing behind: the next one is measured afresh.
    Decode(decoder, GreyBlock(3), image);
    ExpectGrey(image, 8, 8, 131);
    EXPECT_EQ(decoder.Component(0).BlockColumns(), 1u);
    EXPECT_FALSE(decoder.Component(0).HasCoefficients());
}

}  // namespace
}  // namespace Tessera::Testing

namespace Tessera::Testing {
namespace {

TEST(MarkerSegments, ALaterSequentialScanReplacesRowsTheFirstConverted) {
    // The first scan of a sequential picture converts rows as it passes
    // them; a second scan over the same component must still win, and where
    // it breaks off the first scan's samples must show.
    const auto twoScans = [](const Bytes& second) {
        return WithTables()
            .GreyFrame(kSof0, 16, 16)
            .GreyScan()
            .Raw(DcOnlyBlocks({2, 2, 2, 2}))
            .GreyScan()
            .Raw(second);
    };
    JpegDecoder decoder;
    RasterImage image;
    Decode(decoder, twoScans(DcOnlyBlocks({6, 6, 6, 6})).Eoi(), image);
    ExpectGrey(image, 16, 16, 134);

    ExpectFailure(
        [&] {
            Decode(decoder, twoScans(DcOnlyBlocks({6, 6})), image);
        },
        Raised::StreamError, "Premature end of file");
    ASSERT_EQ(image.Width(), 16);
    EXPECT_EQ(PixelAt(image, 0, 0), GreyPixel(134));
    EXPECT_EQ(PixelAt(image, 15, 15), GreyPixel(130));
}

TEST(MarkerSegments, AReusedPixelBlockShowsNothingOfThePicturesBefore) {
    // The second and third pictures have the size of the first, so the
    // decoder reuses its pixel block; whatever they do not convert is zero.
    JpegDecoder decoder;
    RasterImage image;
    Decode(decoder, WithTables().GreyFrame(kSof0, 16, 8).GreyScan().Raw(DcOnlyBlocks({9, 9})).Eoi(),
           image);
    ExpectGrey(image, 16, 8, 137);
    Decode(decoder, WithTables().GreyFrame(kSof0, 16, 8).Eoi(), image);  // no scan at all
    ASSERT_EQ(image.Width(), 16);
    for (int i = 0; i < 16 * 8; ++i) ASSERT_EQ(image.Pixels()[i], 0u) << i;
    Decode(decoder, WithTables().GreyFrame(kSof0, 16, 8).GreyScan().Raw(DcOnlyBlocks({9, 9})).Eoi(),
           image);
    ExpectFailure([&] { Decode(decoder, WithTables().GreyFrame(kSof0, 16, 8).Raw({0xFF}), image); },
                  Raised::BadStream, "Premature end of file");
    for (int i = 0; i < 16 * 8; ++i) ASSERT_EQ(image.Pixels()[i], 0u) << i;
}

}  // namespace
}  // namespace Tessera::Testing
