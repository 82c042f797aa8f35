#pragma once

// Helpers that assemble JFIF byte streams and entropy-coded data by hand, so
// that each test shows the segments it feeds to the decoder.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "image/raster_image.h"
#include "jpeg/frame_header.h"
#include "jpeg/input_byte_stream.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/memory_stream.h"

namespace Tessera::Testing {

using Bytes = std::vector<std::uint8_t>;

// A Huffman table as a DHT lists it: the 16 code-length counts and the values.
struct HuffmanCodes {
    std::array<std::uint8_t, 16> counts;
    Bytes symbols;
};

// The tables the tests code with: every symbol has a 5-bit code, and the code
// of the symbol at position i of the list is i (T.81 C.2 for one code length).
// DC: the categories 0 to 16 (16 only exists to be refused).
inline const HuffmanCodes kDcTable = {{0, 0, 0, 0, 17},
                                      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
// AC: end of block, ZRL, end-of-band runs and the run/size pairs the tests use.
inline const HuffmanCodes kAcTable = {{0, 0, 0, 0, 18},
                                      {0x00, 0x01, 0x02, 0x10, 0x11, 0x12, 0x20, 0x21, 0x50, 0x61,
                                       0xE1, 0xF0, 0xF1, 0x30, 0x40, 0x31, 0x03, 0x04}};
// T.81 Table K.3, the luminance DC table.
inline const HuffmanCodes kLuminanceDcTable = {{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                                               {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};

// A quantization table whose 64 values are all `value`, loaded as a DQT would.
inline QuantTable UniformQuantTable(std::uint8_t value) {
    const Bytes body(64, value);
    MemoryStream stream(body);
    QuantTable table;
    table.LoadTable(stream, 0);
    return table;
}

// Appends bytes one by one (GCC 12 warns falsely about vector range inserts at -O3).
inline void Append(Bytes& to, const Bytes& more) {
    for (std::uint8_t byte : more) to.push_back(byte);
}

inline Bytes TableBody(const HuffmanCodes& codes) {
    Bytes body(codes.counts.begin(), codes.counts.end());
    Append(body, codes.symbols);
    return body;
}

// Writes entropy-coded data: bits most significant first, a 0x00 stuffed after
// every 0xFF byte (T.81 B.1.1.5), the last byte padded with 1 bits (F.1.2.3).
class BitWriter {
  public:
    BitWriter& Bits(unsigned value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            current_ = static_cast<std::uint8_t>(current_ << 1 | ((value >> i) & 1));
            if (++used_ == 8) Flush();
        }
        return *this;
    }
    // The 5-bit code of a symbol of kDcTable or kAcTable.
    BitWriter& Code(const HuffmanCodes& table, unsigned symbol) {
        for (std::size_t i = 0; i < table.symbols.size(); ++i)
            if (table.symbols[i] == symbol) return Bits(static_cast<unsigned>(i), 5);
        ADD_FAILURE() << "symbol " << symbol << " has no code";
        return *this;
    }
    // A DC difference: its category, then the category's bits (F.1.2.1).
    BitWriter& Dc(int difference) {
        const int category = Category(difference);
        Code(kDcTable, static_cast<unsigned>(category));
        return Bits(Magnitude(difference, category), category);
    }
    // A run of zero coefficients and a non-zero value (F.1.2.2).
    BitWriter& Ac(unsigned run, int value) {
        const int category = Category(value);
        Code(kAcTable, run << 4 | static_cast<unsigned>(category));
        return Bits(Magnitude(value, category), category);
    }
    BitWriter& Symbol(unsigned symbol) { return Code(kAcTable, symbol); }
    BitWriter& EndOfBlock() { return Symbol(0x00); }

    // The data written, padded; the writer is left empty.
    Bytes Finish() {
        while (used_ != 0) Bits(1, 1);
        return std::exchange(bytes_, {});
    }

    static int Category(int value) {
        int category = 0;
        for (int magnitude = value < 0 ? -value : value; magnitude != 0; magnitude >>= 1)
            ++category;
        return category;
    }
    static unsigned Magnitude(int value, int category) {
        return static_cast<unsigned>(value >= 0 ? value : value + (1 << category) - 1);
    }

  private:
    void Flush() {
        bytes_.push_back(current_);
        if (current_ == 0xFF) bytes_.push_back(0x00);
        current_ = 0;
        used_ = 0;
    }

    Bytes bytes_;
    std::uint8_t current_ = 0;
    int used_ = 0;
};

// Sequential blocks that carry only a DC value, given the DC values themselves
// (the differences are formed here, starting from a predictor of 0).
inline Bytes DcOnlyBlocks(const std::vector<int>& values) {
    BitWriter writer;
    int predictor = 0;
    for (int value : values) {
        writer.Dc(value - predictor).EndOfBlock();
        predictor = value;
    }
    return writer.Finish();
}

struct FrameComponent {
    std::uint8_t id;
    std::uint8_t sampling;  // high nibble horizontal, low nibble vertical
    std::uint8_t quantTable;
};

struct ScanComponent {
    std::uint8_t id;
    std::uint8_t tables;  // high nibble DC table, low nibble AC table
};

inline constexpr std::uint8_t kSof0 = 0xC0;
inline constexpr std::uint8_t kSof2 = 0xC2;

class StreamBuilder {
  public:
    StreamBuilder& Raw(const Bytes& bytes) {
        Append(bytes_, bytes);
        return *this;
    }
    StreamBuilder& Marker(std::uint8_t code) { return Raw({0xFF, code}); }
    // A marker segment: the length counts itself and the payload.
    StreamBuilder& Segment(std::uint8_t code, const Bytes& payload) {
        const std::size_t length = payload.size() + 2;
        Marker(code).Raw(
            {static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
        return Raw(payload);
    }
    StreamBuilder& Soi() { return Marker(0xD8); }
    // A JFIF APP0 segment, optionally with a thumbnail of w × h RGB pixels.
    StreamBuilder& Jfif(std::uint8_t thumbnailWidth = 0, std::uint8_t thumbnailHeight = 0) {
        Bytes payload = {
            'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, thumbnailWidth, thumbnailHeight};
        payload.resize(payload.size() + 3u * thumbnailWidth * thumbnailHeight, 0xFF);
        return Segment(0xE0, payload);
    }
    StreamBuilder& Start() { return Soi().Jfif(); }
    // A quantization table with every value the same. With 8 everywhere the
    // DC multiplier is 8 · 1/8 · 4096, so a block with only a DC value d
    // decodes to samples of exactly 128 + d.
    StreamBuilder& Dqt(std::uint8_t index = 0, std::uint8_t value = 8) {
        Bytes payload(65, value);
        payload[0] = index;
        return Segment(0xDB, payload);
    }
    StreamBuilder& Dht(std::uint8_t classAndIndex, const HuffmanCodes& codes) {
        Bytes payload = {classAndIndex};
        Append(payload, TableBody(codes));
        return Segment(0xC4, payload);
    }
    // Quantization table 0 of eights, DC table 0 and AC table 0 of the tests.
    StreamBuilder& Tables() { return Dqt().Dht(0x00, kDcTable).Dht(0x10, kAcTable); }
    StreamBuilder& Sof(std::uint8_t code, std::uint16_t width, std::uint16_t height,
                       const std::vector<FrameComponent>& components) {
        Bytes payload = {8,
                         static_cast<std::uint8_t>(height >> 8),
                         static_cast<std::uint8_t>(height),
                         static_cast<std::uint8_t>(width >> 8),
                         static_cast<std::uint8_t>(width),
                         static_cast<std::uint8_t>(components.size())};
        for (const auto& c : components) Append(payload, {c.id, c.sampling, c.quantTable});
        return Segment(code, payload);
    }
    // One grey component, identifier 1, sampling 1 × 1, quantization table 0.
    StreamBuilder& GreyFrame(std::uint8_t code, std::uint16_t width, std::uint16_t height) {
        return Sof(code, width, height, {{1, 0x11, 0}});
    }
    StreamBuilder& Sos(const std::vector<ScanComponent>& components, std::uint8_t ss = 0,
                       std::uint8_t se = 63, std::uint8_t ahAl = 0) {
        Bytes payload = {static_cast<std::uint8_t>(components.size())};
        for (const auto& c : components) Append(payload, {c.id, c.tables});
        Append(payload, {ss, se, ahAl});
        return Segment(0xDA, payload);
    }
    StreamBuilder& GreyScan(std::uint8_t ss = 0, std::uint8_t se = 63, std::uint8_t ahAl = 0) {
        return Sos({{1, 0x00}}, ss, se, ahAl);
    }
    StreamBuilder& Dri(std::uint16_t interval) {
        return Segment(
            0xDD, {static_cast<std::uint8_t>(interval >> 8), static_cast<std::uint8_t>(interval)});
    }
    StreamBuilder& Eoi() { return Marker(0xD9); }

    const Bytes& Build() const { return bytes_; }
    operator const Bytes&() const { return bytes_; }

  private:
    Bytes bytes_;
};

inline void Decode(JpegDecoder& decoder, const Bytes& bytes, RasterImage& image) {
    MemoryStream stream(bytes);
    decoder.DecodeStream(stream, image);
}

// A decoder that has read one frame header and no scan. Its frame queries then
// describe that frame, which is all a component's AllocateBuffers asks of it.
inline std::unique_ptr<JpegDecoder> DecoderWithFrame(
    std::uint8_t code, std::uint16_t width, std::uint16_t height,
    const std::vector<FrameComponent>& components) {
    auto decoder = std::make_unique<JpegDecoder>();
    RasterImage image;
    Decode(*decoder, StreamBuilder().Start().Dqt().Sof(code, width, height, components).Eoi(),
           image);
    return decoder;
}

// The frame header of a SOF segment with these fields, as the decoder reads it.
inline Tessera::FrameHeader FrameOf(std::uint8_t code, std::uint16_t width, std::uint16_t height,
                                    const std::vector<FrameComponent>& components) {
    StreamBuilder builder;
    const Bytes segment = builder.Sof(code, width, height, components).Build();
    MemoryStream stream(segment);
    stream.ReadBigEndian16();  // the marker
    return ReadFrameHeader(stream, code, {false, JpegDecoder::kMaxPixels});
}

// A component with factors h × v in the frame, its buffers allocated and
// every block row in being.
inline JpegComponent ComponentIn(const Tessera::FrameHeader& frame, unsigned h, unsigned v,
                                 const QuantTable* quant = nullptr) {
    JpegComponent component;
    Tessera::FrameComponent factors;
    factors.horizontalSampling = h;
    factors.verticalSampling = v;
    JpegComponent::Setup setup;
    setup.quantTable = quant;
    setup.unreachedSample = frame.Progressive() ? 128 : 0;
    component.SetGeometry(factors, frame, setup);
    component.AllocateBuffers(frame.Progressive(), false);
    component.EnsureBlockRows(component.BlockRows());
    return component;
}

// A stream that has begun: SOI and JFIF APP0, and with the usual tables.
inline StreamBuilder Begin() {
    StreamBuilder builder;
    builder.Start();
    return builder;
}
inline StreamBuilder WithTables() {
    StreamBuilder builder;
    builder.Start().Tables();
    return builder;
}

inline std::uint32_t PixelAt(const RasterImage& image, int x, int y) {
    return image.Pixels()[static_cast<std::size_t>(y) * image.Width() + x];
}

// A grey pixel as the decoder writes it: blue = green = red = s, alpha 255.
constexpr std::uint32_t GreyPixel(std::uint32_t s) {
    return 0xFF000000u | s << 16 | s << 8 | s;
}

// The exception class a failure is expected to have.
enum class Raised { BadStream, JpegError, StreamError };

inline const char* RaisedName(Raised raised) {
    switch (raised) {
        case Raised::BadStream:
            return "JpegBadStream";
        case Raised::JpegError:
            return "JpegError";
        case Raised::StreamError:
            return "StreamError";
    }
    return "?";
}

// Runs the action and checks that it throws exactly the given class (a plain
// JpegError must not be a JpegBadStream) with the given message.
inline void ExpectFailure(const std::function<void()>& action, Raised expected,
                          const std::string& message) {
    try {
        action();
        ADD_FAILURE() << "no exception; expected " << RaisedName(expected) << " \"" << message
                      << "\"";
        return;
    } catch (const JpegDecoder::JpegBadStream& e) {
        EXPECT_EQ(RaisedName(expected), std::string(RaisedName(Raised::BadStream))) << e.what();
        EXPECT_EQ(message, e.what());
    } catch (const JpegDecoder::JpegError& e) {
        EXPECT_EQ(RaisedName(expected), std::string(RaisedName(Raised::JpegError))) << e.what();
        EXPECT_EQ(message, e.what());
    } catch (const InputByteStream::StreamError& e) {
        EXPECT_EQ(RaisedName(expected), std::string(RaisedName(Raised::StreamError))) << e.what();
        EXPECT_EQ(message, e.what());
    }
}

}  // namespace Tessera::Testing
