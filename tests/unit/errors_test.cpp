#include <gtest/gtest.h>

#include <stdexcept>

#include "stream_builder.h"

namespace Tessera::Testing {
namespace {

TEST(Errors, BadStreamIsAGraphicsException) {
    const Bytes notJpeg = {0x00, 0x01};
    JpegDecoder decoder;
    RasterImage image;
    try {
        Decode(decoder, notJpeg, image);
        FAIL() << "decoded a stream without SOI";
    } catch (const GraphicsException& e) {
        EXPECT_STREQ(e.what(), "Missing SOI Marker");
        EXPECT_NE(dynamic_cast<const JpegDecoder::JpegBadStream*>(&e), nullptr);
    }
}

TEST(Errors, StreamErrorIsNotAGraphicsException) {
    const Bytes data = {0x12};
    MemoryStream stream(data);
    stream.StartBitReading();
    stream.ReadBits(8);
    bool caughtAsGraphics = false;
    try {
        try {
            stream.ReadBit();
        } catch (const GraphicsException&) {
            caughtAsGraphics = true;
        }
        FAIL() << "no exception";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Premature end of stream");
    }
    EXPECT_FALSE(caughtAsGraphics);
}

TEST(Errors, MessagesAreCarriedAndCopied) {
    const JpegDecoder::JpegError error("DC Table Not Defined");
    const JpegDecoder::JpegError copy(error);
    EXPECT_STREQ(copy.what(), "DC Table Not Defined");
    const std::exception& base = copy;
    EXPECT_STREQ(base.what(), "DC Table Not Defined");
    const InputByteStream::StreamError streamError("Premature end of file");
    EXPECT_STREQ(InputByteStream::StreamError(streamError).what(), "Premature end of file");
}

TEST(Errors, RefreshOutsideADecode) {
    JpegDecoder decoder;
    ExpectFailure([&] { decoder.RefreshImage(); }, Raised::JpegError, "Not reading an image");
    RasterImage image;
    Decode(decoder, StreamBuilder().Start().Eoi(), image);
    ExpectFailure([&] { decoder.RefreshImage(); }, Raised::JpegError, "Not reading an image");
}

}  // namespace
}  // namespace Tessera::Testing
