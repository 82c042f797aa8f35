#include <gtest/gtest.h>

#include "stream_builder.h"

namespace Tessera::Testing {
namespace {

// A memory stream that remembers where its bytes begin, so tests can name positions.
struct Input {
    explicit Input(Bytes data) : bytes(std::move(data)), stream(bytes) {}
    std::ptrdiff_t Position() const { return stream.ReadPointer() - bytes.data(); }
    Bytes bytes;
    MemoryStream stream;
};

TEST(ByteReads, EndOfDataReadsAsZeroWithoutConsuming) {
    Input in({0x12});
    EXPECT_EQ(in.stream.ReadByte(), 0x12);
    EXPECT_FALSE(in.stream.HasData());
    EXPECT_EQ(in.stream.ReadByte(), 0);
    EXPECT_EQ(in.Position(), 1);

    Input half({0xAB});
    EXPECT_EQ(half.stream.ReadBigEndian16(), 0xAB00);
    Input word({0x01, 0x02, 0x03});
    EXPECT_EQ(word.stream.ReadBigEndian16(), 0x0102);
    EXPECT_TRUE(word.stream.HasData());
}

TEST(ByteReads, ReadBlockStopsAtEndOfData) {
    Input in({0x10, 0x20, 0x30});
    std::uint8_t out[2] = {};
    EXPECT_EQ(in.stream.ReadBlock(out, 2), 2u);
    EXPECT_EQ(out[1], 0x20);
    EXPECT_EQ(in.stream.ReadBlock(out, 2), 1u);
    EXPECT_EQ(out[0], 0x30);
    EXPECT_EQ(in.stream.ReadBlock(out, 2), 0u);
}

TEST(BitReads, MostSignificantBitFirstAcrossBytes) {
    // 1011 0101, 1100 0011, 0101 1010
    Input in({0xB5, 0xC3, 0x5A});
    in.stream.StartBitReading();
    EXPECT_EQ(in.stream.BitsLeft(), 8);
    EXPECT_EQ(in.stream.ReadBit(), 1);
    EXPECT_EQ(in.stream.ReadBits(4), 0b0110u);
    // 3 bits left: they come first, then 8 + 5 bits of the next two bytes.
    EXPECT_EQ(in.stream.ReadBits(16), 0b101'11000011'01011u);
    EXPECT_EQ(in.stream.BitsLeft(), 3);
    EXPECT_EQ(in.Position(), 2);
    EXPECT_EQ(in.stream.ReadBits(3), 0b010u);
}

TEST(BitReads, StuffedZeroAfterFFIsSkipped) {
    Input in({0xFF, 0x00, 0x81});
    in.stream.StartBitReading();
    EXPECT_EQ(in.stream.ReadBits(8), 0xFFu);
    EXPECT_EQ(in.stream.ReadBit(), 1);
    EXPECT_EQ(in.Position(), 2);
    EXPECT_EQ(in.stream.ReadBits(7), 0x01u);
}

TEST(BitReads, ReadBitsOfZeroNeverSteps) {
    Input in({0xAB});
    in.stream.StartBitReading();
    EXPECT_EQ(in.stream.ReadBits(8), 0xABu);
    EXPECT_EQ(in.stream.ReadBits(0), 0u);
    EXPECT_EQ(in.Position(), 0);
    EXPECT_EQ(in.stream.BitsLeft(), 0);
}

TEST(BitReads, MarkerInsideDataIsReportedWhenSteppingAwayFromItsFF) {
    const Bytes data = {0xAB, 0xFF, 0xD9};
    Input bits(data);
    bits.stream.StartBitReading();
    EXPECT_EQ(bits.stream.ReadBits(8), 0xABu);
    EXPECT_EQ(bits.stream.ReadBits(8), 0xFFu);  // the marker's first byte is taken as data
    ExpectFailure([&] { bits.stream.ReadBits(1); }, Raised::StreamError,
                  "Invalid Marker in Compressed Stream");

    Input bit(data);
    bit.stream.StartBitReading();
    bit.stream.ReadBits(8);
    bit.stream.ReadBits(8);
    ExpectFailure([&] { bit.stream.ReadBit(); }, Raised::StreamError,
                  "Invalid Marker in Compressed Data");
}

TEST(BitReads, EndOfDataMessages) {
    struct Case {
        Bytes data;
        bool singleBit;
        const char* message;
    };
    const Case cases[] = {
        {{0x12}, true, "Premature end of stream"},
        {{0x12}, false, "Premature end of file"},
        {{0xFF}, true, "Premature end of file"},  // the end comes after a 0xFF
        {{0xFF}, false, "Premature end of file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.singleBit ? "ReadBit" : "ReadBits");
        Input in(c.data);
        in.stream.StartBitReading();
        in.stream.ReadBits(8);
        ExpectFailure([&] { c.singleBit ? in.stream.ReadBit() : in.stream.ReadBits(2); },
                      Raised::StreamError, c.message);
    }
}

TEST(ModeSwitches, StartOnExhaustedStreamFails) {
    Input in({});
    ExpectFailure([&] { in.stream.StartBitReading(); }, Raised::StreamError,
                  "Premature end of file");
}

TEST(ModeSwitches, RepeatedSwitchesChangeNothing) {
    Input in({0x5A, 0x00});
    in.stream.StopBitReading();  // byte mode already
    EXPECT_EQ(in.Position(), 0);
    EXPECT_EQ(in.stream.BitsLeft(), -1);
    in.stream.StartBitReading();
    in.stream.ReadBits(3);
    in.stream.StartBitReading();  // bit mode already
    EXPECT_EQ(in.stream.BitsLeft(), 5);
}

TEST(ModeSwitches, StopStepsPastTheCurrentByte) {
    struct Case {
        const char* name;
        Bytes data;
        int bitsRead;
        std::ptrdiff_t position;
    };
    const Case cases[] = {
        {"code ends at a byte boundary", {0x12, 0xFF, 0xD9}, 8, 1},
        {"partly used byte", {0x12, 0xFF, 0xD9}, 3, 1},
        {"partly used stuffed FF", {0xFF, 0x00, 0xFF, 0xD9}, 3, 2},
        {"nothing read", {0x12, 0xFF, 0xD9}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Input in(c.data);
        in.stream.StartBitReading();
        in.stream.ReadBits(c.bitsRead);
        in.stream.StopBitReading();
        EXPECT_EQ(in.Position(), c.position);
        EXPECT_EQ(in.stream.BitsLeft(), -1);
        EXPECT_EQ(in.stream.ReadByte(), 0xFF);
    }
}

TEST(ModeSwitches, StopAfterFFNeedsStuffedZero) {
    Input atEnd({0xFF});
    atEnd.stream.StartBitReading();
    ExpectFailure([&] { atEnd.stream.StopBitReading(); }, Raised::StreamError,
                  "Premature end of file");
    Input marker({0xFF, 0xD0});
    marker.stream.StartBitReading();
    ExpectFailure([&] { marker.stream.StopBitReading(); }, Raised::StreamError,
                  "Invalid Marker in Compressed Stream");
}

TEST(Extend, SignedValueOfReceivedBits) {
    struct Case {
        unsigned v;
        int n;
        int expected;
    };
    const Case cases[] = {{0, 0, 0},       {0, 1, -1},          {1, 1, 1},        {3, 3, -4},
                          {4, 3, 4},       {0, 11, -2047},      {2047, 11, 2047}, {1023, 11, -1024},
                          {0, 15, -32767}, {0x4000, 15, 0x4000}};
    for (const Case& c : cases)
        EXPECT_EQ(Extend(c.v, c.n), c.expected) << "v=" << c.v << " n=" << c.n;
}

}  // namespace
}  // namespace Tessera::Testing
