#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

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

namespace Tessera::Testing {
namespace {

// Each message has its code and each code its message, both ways; a text of
// none of them is Other. The code travels with the exception.
TEST(Errors, CodesAndMessagesMatchOneToOne) {
    std::set<std::string> messages;
    for (int value = 1; value < 100; ++value) {
        const auto code = static_cast<ErrorCode>(value);
        const std::string message = ErrorMessage(code);
        if (message.empty()) continue;
        EXPECT_TRUE(messages.insert(message).second) << message;
        EXPECT_EQ(ErrorCodeOf(message.c_str()), code) << message;
    }
    EXPECT_GE(messages.size(), 50u);
    EXPECT_EQ(ErrorCodeOf("not a message of ours"), ErrorCode::Other);
    EXPECT_EQ(JpegDecoder::JpegBadStream("Missing SOI Marker").Code(), ErrorCode::MissingSoiMarker);
    EXPECT_EQ(ErrorCodeOf(InputByteStream::StreamError("Premature end of stream")),
              ErrorCode::PrematureEndOfStream);
    EXPECT_EQ(ErrorCodeOf(std::runtime_error("Missing SOI Marker")), ErrorCode::Other);
}

}  // namespace
}  // namespace Tessera::Testing
