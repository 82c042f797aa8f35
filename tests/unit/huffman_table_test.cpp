#include "jpeg/huffman_table.h"

#include <gtest/gtest.h>

#include "stream_builder.h"

namespace Tessera::Testing {
namespace {

void Load(HuffmanTable& table, const HuffmanCodes& codes) {
    const Bytes body = TableBody(codes);
    MemoryStream stream(body);
    EXPECT_EQ(table.LoadTable(stream), static_cast<int>(body.size()));
}

// Decodes one symbol from the given bits, followed by the marker bits 1010:
// returns the symbol and the four bits read after it, which are 1010 exactly
// when the code took all its bits and no more.
std::pair<int, unsigned> DecodeBits(const HuffmanTable& table, unsigned bits, int count) {
    const Bytes data = BitWriter().Bits(bits, count).Bits(0b1010, 4).Bits(0xFFFF, 16).Finish();
    MemoryStream stream(data);
    stream.StartBitReading();
    const int symbol = table.DecodeSymbol(stream);
    return {symbol, stream.ReadBits(4)};
}
constexpr unsigned kAfter = 0b1010;

TEST(HuffmanTable, LuminanceDcTableArrays) {
    HuffmanTable table;
    EXPECT_FALSE(table.IsDefined());
    Load(table, kLuminanceDcTable);
    EXPECT_TRUE(table.IsDefined());
    EXPECT_EQ(table.ShortestLength(), 2);
    EXPECT_EQ(table.MaxCode(1), -1);
    for (int length = 10; length <= 16; ++length) EXPECT_EQ(table.MaxCode(length), -1) << length;
    const int expected[8][3] = {{0, 0, 0},   {2, 6, 1},     {14, 14, 6},    {30, 30, 7},
                                {62, 62, 8}, {126, 126, 9}, {254, 254, 10}, {510, 510, 11}};
    for (int length = 2; length <= 9; ++length) {
        SCOPED_TRACE(length);
        EXPECT_EQ(table.MinCode(length), expected[length - 2][0]);
        EXPECT_EQ(table.MaxCode(length), expected[length - 2][1]);
        EXPECT_EQ(table.ValuePointer(length), expected[length - 2][2]);
    }
}

TEST(HuffmanTable, LuminanceDcTableDecodes) {
    HuffmanTable table;
    Load(table, kLuminanceDcTable);
    struct Case {
        unsigned bits;
        int length;
        int symbol;
    };
    const Case cases[] = {{0b00, 2, 0},   {0b010, 3, 1},    {0b110, 3, 5},
                          {0b1110, 4, 6}, {0b111110, 6, 8}, {0b111111110, 9, 11}};
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeBits(table, c.bits, c.length), std::make_pair(c.symbol, kAfter))
            << "code length " << c.length;
    }
}

TEST(HuffmanTable, LengthWithoutCodesIsPassedOver) {
    // One code of length 1 (0), none of length 2, two of length 3 (100, 101).
    HuffmanTable table;
    Load(table, {{1, 0, 2}, {0x0A, 0x0B, 0x0C}});
    EXPECT_EQ(table.MaxCode(2), -1);
    EXPECT_EQ(DecodeBits(table, 0b0, 1), std::make_pair(0x0A, kAfter));
    EXPECT_EQ(DecodeBits(table, 0b100, 3), std::make_pair(0x0B, kAfter));
    EXPECT_EQ(DecodeBits(table, 0b101, 3), std::make_pair(0x0C, kAfter));
}

TEST(HuffmanTable, OnlySixteenBitCodes) {
    HuffmanTable table;
    Load(table, {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}, {0x21, 0x42}});
    EXPECT_EQ(table.ShortestLength(), 16);
    EXPECT_EQ(DecodeBits(table, 0x0001, 16), std::make_pair(0x42, kAfter));
}

TEST(HuffmanTable, BitsMatchingNoCode) {
    HuffmanTable table;
    Load(table, kLuminanceDcTable);
    // Sixteen 1 bits exceed every code; the data goes on, so no stream error.
    const Bytes ones = {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};
    MemoryStream stream(ones);
    stream.StartBitReading();
    ExpectFailure([&] { table.DecodeSymbol(stream); }, Raised::BadStream,
                  "Bad Huffman Code Length");
}

TEST(HuffmanTable, TableWithoutCodesReadsNothing) {
    HuffmanTable table;
    Load(table, {{}, {}});
    EXPECT_TRUE(table.IsDefined());
    const Bytes data = {0x00, 0x00, 0x00};
    MemoryStream stream(data);
    stream.StartBitReading();
    ExpectFailure([&] { table.DecodeSymbol(stream); }, Raised::BadStream,
                  "Bad Huffman Code Length");
    EXPECT_EQ(stream.ReadPointer(), data.data());
    EXPECT_EQ(stream.BitsLeft(), 8);
}

TEST(HuffmanTable, TotalOfCodes) {
    // 255 codes of length 8 and 2 of length 9: 257 in all.
    HuffmanCodes full{{}, Bytes(256)};
    full.counts[7] = 255;
    full.counts[8] = 2;
    {
        HuffmanTable table;
        Bytes body = TableBody(full);
        MemoryStream stream(body);
        ExpectFailure([&] { table.LoadTable(stream); }, Raised::BadStream, "Huffman count > 256");
        EXPECT_EQ(stream.ReadPointer(), body.data() + 16);
        EXPECT_FALSE(table.IsDefined());
    }
    full.counts[8] = 1;  // exactly 256
    HuffmanTable table;
    const Bytes body = TableBody(full);
    MemoryStream stream(body);
    EXPECT_EQ(table.LoadTable(stream), 272);
    EXPECT_FALSE(stream.HasData());
}

TEST(HuffmanTable, OverSubscribedLengthIsRefusedAndTableKept) {
    HuffmanTable table;
    Load(table, kLuminanceDcTable);
    const Bytes body = TableBody({{3}, {1, 2, 3}});  // three codes of length 1
    MemoryStream stream(body);
    ExpectFailure([&] { table.LoadTable(stream); }, Raised::BadStream, "Bad Huffman Table");
    EXPECT_TRUE(table.IsDefined());
    EXPECT_EQ(table.ShortestLength(), 2);
    EXPECT_EQ(table.MaxCode(9), 510);
    EXPECT_EQ(DecodeBits(table, 0b110, 3).first, 5);
}

TEST(HuffmanTable, ReloadReplacesEveryLength) {
    HuffmanTable table;
    Load(table, kLuminanceDcTable);
    Load(table, {{2}, {0x33, 0x44}});
    EXPECT_EQ(table.ShortestLength(), 1);
    EXPECT_EQ(table.MaxCode(1), 1);
    for (int length = 2; length <= 16; ++length) EXPECT_EQ(table.MaxCode(length), -1) << length;
    EXPECT_EQ(DecodeBits(table, 0b1, 1).first, 0x44);
}

// The steps are made when a scan asks for them: until then (a DC table, or
// an AC table no scan has read yet) every look-up of them sends a decode the
// careful way, never a step that takes no bits, and each kind is made on
// its own.
TEST(HuffmanTable, StepsAreCarefulUntilAScanMakesThem) {
    HuffmanTable table;
    const Bytes body = TableBody(kLuminanceDcTable);
    const auto quickEntries = [&] {
        std::pair<unsigned, unsigned> quick{0, 0};
        for (std::uint32_t prefix = 0; prefix < (1u << HuffmanTable::kQuickBits); ++prefix) {
            quick.first += table.LookupSteps(prefix).firstAdvance != HuffmanTable::kNotQuick;
            quick.second += table.LookupRefinement(prefix).kind != HuffmanTable::kOtherRefinement;
        }
        return quick;
    };
    for (int load = 0; load < 2; ++load) {  // loading again forgets what was made
        MemoryStream stream(body);
        table.LoadTable(stream);
        EXPECT_EQ(quickEntries(), std::make_pair(0u, 0u));
        table.MakeSequentialSteps();
        EXPECT_GT(quickEntries().first, 0u);
        EXPECT_EQ(quickEntries().second, 0u);
        table.MakeRefinementSteps();
        EXPECT_GT(quickEntries().second, 0u);
    }
}

}  // namespace
}  // namespace Tessera::Testing
