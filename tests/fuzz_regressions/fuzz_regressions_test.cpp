// Inputs that once cost a decode far more than their size warrants, or that
// fuzzing turned up, each pinned to how its decode ends; and the boundaries of
// the limits that keep the cost of any input in proportion to a real picture.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tessera/jpeg.h"
#include "tests/unit/stream_builder.h"

namespace Tessera::Testing {
namespace {

struct Outcome {
    std::string errorClass;  // "" for a clean decode
    std::string message;
};

Outcome DecodeBytes(JpegDecoder& decoder, const Bytes& bytes, RasterImage& image) {
    try {
        Decode(decoder, bytes, image);
    } catch (const JpegDecoder::JpegBadStream& e) {
        return {"JpegBadStream", e.what()};
    } catch (const JpegDecoder::JpegError& e) {
        return {"JpegError", e.what()};
    } catch (const InputByteStream::StreamError& e) {
        return {"StreamError", e.what()};
    }
    return {};
}

Outcome DecodeBytes(const Bytes& bytes, RasterImage& image) {
    JpegDecoder decoder;
    return DecodeBytes(decoder, bytes, image);
}

Bytes ReadFile(const std::string& name) {
    std::ifstream file(std::filesystem::path(TESSERA_REGRESSION_DIR) / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct RegressionFile {
    const char* name;
    const char* errorClass;
    const char* message;
    int width, height;  // of the image after the decode
};

// huge-frame-cut-short: a progressive 65535 × 1024 three-component frame whose
//   first scan ends after two bytes. It used to allocate every block and
//   coefficient of the frame and transform and up-sample all of it (1 GB for
//   180 bytes); now only the image itself (256 MB) is the frame's size.
// image-too-large: a frame of 65535 × 4097 pixels, one row above kMaxPixels.
// fill-bytes-before-eoi: one 8 × 8 block followed by 4096 0xFF fill bytes and
//   EOI; the fill bytes cost one step each.
// two-threads-restart-marker-at-the-seam: 40 × 32 with restart intervals,
//   data where the marker before the lower half of a two-thread decode
//   belongs (see TwoThreadsSeeTheMarkerAtTheSeam).
const RegressionFile kFiles[] = {
    {"huge-frame-cut-short.jpg", "StreamError", "Premature end of file", 65535, 1024},
    {"image-too-large.jpg", "JpegBadStream", "Image Too Large", 0, 0},
    {"fill-bytes-before-eoi.jpg", "", "", 8, 8},
    {"two-threads-restart-marker-at-the-seam.jpg", "JpegBadStream", "Missing Restart Marker", 40,
     32},
};

// Two threads decoded the picture's halves at once, and neither read the
// restart marker the lower half starts after: the repair one thread makes
// there, and its warning, were lost.
TEST(FuzzRegressions, TwoThreadsSeeTheMarkerAtTheSeam) {
    const Bytes bytes = ReadFile("two-threads-restart-marker-at-the-seam.jpg");
    ASSERT_FALSE(bytes.empty());
    std::vector<std::string> warnings[2];
    std::vector<std::uint8_t> pixels[2];
    for (const unsigned threads : {1u, 2u}) {
        const Tessera::Image image = Tessera::DecodeJpeg(bytes.data(), bytes.size(),
                                                         {.format = Tessera::PixelFormat::Rgba,
                                                          .pixels = Tessera::Pixels::Replicated,
                                                          .threads = threads});
        for (const Tessera::Warning& warning : image.warnings)
            warnings[threads - 1].push_back(warning.text);
        pixels[threads - 1] = image.pixels;
    }
    EXPECT_EQ(warnings[0].size(), 1u);
    EXPECT_EQ(warnings[1], warnings[0]);
    EXPECT_TRUE(pixels[1] == pixels[0]);
}

TEST(FuzzRegressions, EachFileEndsAsPinned) {
    for (const RegressionFile& file : kFiles) {
        SCOPED_TRACE(file.name);
        const Bytes bytes = ReadFile(file.name);
        ASSERT_FALSE(bytes.empty());
        RasterImage image;
        const Outcome outcome = DecodeBytes(bytes, image);
        EXPECT_EQ(outcome.errorClass, file.errorClass);
        EXPECT_EQ(outcome.message, file.message);
        EXPECT_EQ(image.Width(), file.width);
        EXPECT_EQ(image.Height(), file.height);
    }
}

TEST(FuzzRegressions, AHugeFrameCutShortIsMidGreyThroughout) {
    // No data reached past the first blocks, and zero coefficients transform
    // to mid-grey: the first and the very last pixel agree.
    RasterImage image;
    DecodeBytes(ReadFile("huge-frame-cut-short.jpg"), image);
    ASSERT_EQ(image.Width(), 65535);
    EXPECT_EQ(PixelAt(image, 0, 0), GreyPixel(128));
    EXPECT_EQ(PixelAt(image, 65534, 1023), GreyPixel(128));
}

// A grey 16 × 16 progressive picture (four blocks): a DC scan, then `acScans`
// AC scans whose every block is an end of band.
Bytes RepeatedAcScans(int acScans) {
    StreamBuilder stream;
    stream.Start()
        .Tables()
        .GreyFrame(kSof2, 16, 16)
        .GreyScan(0, 0, 0)
        .Raw(BitWriter().Dc(0).Dc(0).Dc(0).Dc(0).Finish());
    for (int i = 0; i < acScans; ++i) {
        BitWriter endOfBands;
        for (int block = 0; block < 4; ++block) endOfBands.EndOfBlock();
        stream.GreyScan(1, 63, 0).Raw(endOfBands.Finish());
    }
    return stream.Eoi();
}

// The same with Y 2 × 2 and Cb, Cr 1 × 1: six blocks a frame, of which an AC
// scan of Y visits four.
Bytes RepeatedLumaAcScans(int acScans) {
    StreamBuilder stream;
    stream.Start().Tables().Sof(kSof2, 16, 16, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    BitWriter dc;
    for (int block = 0; block < 6; ++block) dc.Dc(0);
    stream.Sos({{1, 0x00}, {2, 0x00}, {3, 0x00}}, 0, 0, 0).Raw(dc.Finish());
    for (int i = 0; i < acScans; ++i) {
        BitWriter endOfBands;
        for (int block = 0; block < 4; ++block) endOfBands.EndOfBlock();
        stream.Sos({{1, 0x00}}, 1, 63, 0).Raw(endOfBands.Finish());
    }
    return stream.Eoi();
}

TEST(FuzzRegressions, ScansMayVisitEachBlockThirtyTwoTimes) {
    static_assert(JpegDecoder::kMaxBlockVisitsPerBlock == 32);
    struct Case {
        const char* what;
        Bytes stream;
        const char* message;
    };
    const char* const refused = "Scans Visit the Picture Too Many Times";
    // Grey: the DC scan and 31 AC scans visit each block 32 times.
    // 4:2:0: 6 + 46 · 4 = 190 visits of 6 blocks stay within 192; 194 do not.
    const Case cases[] = {
        {"grey, 32 visits", RepeatedAcScans(31), ""},
        {"grey, 33 visits", RepeatedAcScans(32), refused},
        {"4:2:0, 190 of 192", RepeatedLumaAcScans(46), ""},
        {"4:2:0, 194 of 192", RepeatedLumaAcScans(47), refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RasterImage image;
        const Outcome outcome = DecodeBytes(c.stream, image);
        EXPECT_EQ(outcome.message, c.message);
        EXPECT_EQ(outcome.errorClass, *c.message == '\0' ? "" : "JpegBadStream");
    }
}

// A frame of no rows has no blocks, so only the count of scans limits them.
// Each scan holds one byte of data, which bit reading steps over.
Bytes EmptyScans(int scans) {
    StreamBuilder stream;
    stream.Start().Tables().GreyFrame(kSof2, 16, 0);
    for (int i = 0; i < scans; ++i) stream.GreyScan(0, 0, 0).Raw({0x00});
    return stream.Eoi();
}

TEST(FuzzRegressions, APictureHasAtMostAThousandScans) {
    static_assert(JpegDecoder::kMaxScans == 1000);
    RasterImage image;
    EXPECT_EQ(DecodeBytes(EmptyScans(1000), image).message, "");
    const Outcome refused = DecodeBytes(EmptyScans(1001), image);
    EXPECT_EQ(refused.errorClass, "JpegBadStream");
    EXPECT_EQ(refused.message, "Too Many Scans");
}

TEST(FuzzRegressions, RowsThatNoDataReachedShowWhatAnEmptyBlockGives) {
    // A grey 8 × 32 frame (four block rows) whose scan ends after two blocks
    // of DC 16 and −16. Only the rows the data reached hold buffers; the
    // rows below are what a block without data decodes to: zero samples in
    // a sequential frame, mid-grey from zero coefficients in a progressive one.
    struct Case {
        std::uint8_t sof;
        std::uint8_t ss, se;
        std::uint32_t unreached;
    };
    for (const Case& c : {Case{kSof0, 0, 63, GreyPixel(0)}, Case{kSof2, 0, 0, GreyPixel(128)}}) {
        SCOPED_TRACE(c.sof == kSof0 ? "sequential" : "progressive");
        BitWriter data;
        data.Dc(16);
        if (c.sof == kSof0) data.EndOfBlock();
        data.Dc(-32);
        if (c.sof == kSof0) data.EndOfBlock();
        StreamBuilder stream;
        stream.Start().Tables().GreyFrame(c.sof, 8, 32).GreyScan(c.ss, c.se, 0).Raw(data.Finish());
        RasterImage image;
        const Outcome outcome = DecodeBytes(stream, image);
        EXPECT_EQ(outcome.errorClass, "StreamError");
        ASSERT_EQ(image.Height(), 32);
        for (int x : {0, 7}) {
            EXPECT_EQ(PixelAt(image, x, 0), GreyPixel(144));
            EXPECT_EQ(PixelAt(image, x, 15), GreyPixel(112));
            EXPECT_EQ(PixelAt(image, x, 16), c.unreached);
            EXPECT_EQ(PixelAt(image, x, 31), c.unreached);
        }
    }
}

TEST(FuzzRegressions, ADecoderRefusedByALimitDecodesTheNextPicture) {
    // The slideshow reuses one decoder; a refusal must leave nothing behind.
    JpegDecoder decoder;
    RasterImage image;
    EXPECT_EQ(DecodeBytes(decoder, RepeatedAcScans(40), image).message,
              "Scans Visit the Picture Too Many Times");
    EXPECT_EQ(DecodeBytes(decoder, EmptyScans(1001), image).message, "Too Many Scans");
    EXPECT_EQ(DecodeBytes(decoder, RepeatedAcScans(3), image).message, "");
    EXPECT_EQ(PixelAt(image, 15, 15), GreyPixel(128));
}

}  // namespace
}  // namespace Tessera::Testing
