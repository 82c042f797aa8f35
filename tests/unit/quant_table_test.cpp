#include "jpeg/quant_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "stream_builder.h"

namespace Tessera::Testing {
namespace {

// The zigzag sequence of T.81 Figure A.6 walked out afresh: anti-diagonal s
// runs upwards (row falling) when s is even and downwards when s is odd.
std::array<int, 64> ZigzagWalk() {
    std::array<int, 64> order{};
    int k = 0;
    for (int s = 0; s <= 14; ++s) {
        const int low = s > 7 ? s - 7 : 0;
        const int high = s < 7 ? s : 7;
        for (int i = 0; i <= high - low; ++i) {
            const int row = s % 2 == 0 ? high - i : low + i;
            order[k++] = 8 * row + (s - row);
        }
    }
    return order;
}

// Loads a table given in natural (row-major) order, writing it in zigzag order.
QuantTable LoadNatural(const std::array<int, 64>& natural) {
    const std::array<int, 64> zigzag = ZigzagWalk();
    Bytes body(64);
    for (int k = 0; k < 64; ++k) body[k] = static_cast<std::uint8_t>(natural[zigzag[k]]);
    MemoryStream stream(body);
    QuantTable table;
    table.LoadTable(stream, 0);
    EXPECT_TRUE(table.defined);
    return table;
}

std::array<int, 64> Filled(int value) {
    std::array<int, 64> values;
    values.fill(value);
    return values;
}

TEST(Zigzag, TablesFollowTheDiagonalWalk) {
    const std::array<int, 64> walk = ZigzagWalk();
    for (int k = 0; k < 64; ++k) {
        EXPECT_EQ(ZigzagToNatural[k], walk[k]) << k;
        EXPECT_EQ(NaturalToZigzag[walk[k]], k) << k;
    }
}

TEST(QuantTable, MultipliersOfAllOnes) {
    const QuantTable table = LoadNatural(Filled(1));
    const std::int32_t firstRow[8] = {512, 369, 391, 435, 512, 651, 946, 1855};
    const std::int32_t lastRow[8] = {1855, 1337, 1420, 1578, 1855, 2361, 3428, 6726};
    for (int v = 0; v < 8; ++v) {
        EXPECT_EQ(table.multipliers.values[v], firstRow[v]) << v;
        EXPECT_EQ(table.multipliers.values[56 + v], lastRow[v]) << v;
    }
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v)
            EXPECT_EQ(table.multipliers.values[8 * u + v], table.multipliers.values[8 * v + u]);
}

TEST(QuantTable, LuminanceTableK1) {
    const QuantTable table =
        LoadNatural({16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                     14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                     18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                     49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99});
    const std::int32_t firstRow[8] = {8192, 4060, 3918, 6966, 12288, 26066, 48248, 113200};
    for (int v = 0; v < 8; ++v) EXPECT_EQ(table.multipliers.values[v], firstRow[v]) << v;
    EXPECT_EQ(table.values[2], 12);  // zigzag index 2 is natural position 8
}

TEST(QuantTable, EachValueScalesItsOwnPosition) {
    const QuantTable ones = LoadNatural(Filled(1));
    for (int k = 0; k < 64; ++k) {
        Bytes body(64, 1);
        body[k] = 2;
        MemoryStream stream(body);
        QuantTable table;
        table.LoadTable(stream, 0);
        for (int n = 0; n < 64; ++n) {
            if (n == ZigzagToNatural[k])
                EXPECT_GT(table.multipliers.values[n], ones.multipliers.values[n]) << "k=" << k;
            else
                EXPECT_EQ(table.multipliers.values[n], ones.multipliers.values[n])
                    << "k=" << k << " n=" << n;
        }
    }
}

// q · 4096 / (8 · c(u) · c(v)) with c(0) = c(4) = 1 and c(k) = √2 · cos(kπ/16),
// worked out in extended precision and truncated.
TEST(QuantTable, MultipliersAreExactIntegerParts) {
    auto c = [](int k) -> long double {
        if (k == 0 || k == 4) return 1.0L;
        return std::sqrt(2.0L) * std::cos(k * std::numbers::pi_v<long double> / 16);
    };
    for (int q = 1; q <= 255; ++q) {
        const QuantTable table = LoadNatural(Filled(q));
        for (int u = 0; u < 8; ++u)
            for (int v = 0; v < 8; ++v) {
                const long double exact = q * 4096.0L / (8 * c(u) * c(v));
                ASSERT_EQ(table.multipliers.values[8 * u + v], static_cast<std::int32_t>(exact))
                    << "q=" << q << " u=" << u << " v=" << v;
            }
    }
}

// The values again in natural order, for the accurate transforms; 16-bit ones
// (lenient loads) whole.
TEST(QuantTable, NaturalOrderCopyOfTheValues) {
    const std::array<int, 64> zigzag = ZigzagWalk();
    Bytes body;
    for (int k = 0; k < 64; ++k) {
        const int value = 1000 * k + 7;  // distinct, above 255 from k = 1 on
        body.push_back(static_cast<std::uint8_t>(value >> 8));
        body.push_back(static_cast<std::uint8_t>(value));
    }
    MemoryStream stream(body);
    QuantTable table;
    table.LoadTable(stream, 1, true);
    for (int k = 0; k < 64; ++k) EXPECT_EQ(table.natural[zigzag[k]], 1000 * k + 7) << k;
}

TEST(QuantTable, RefusedPrecisionsReadNothing) {
    const Bytes body(64, 1);
    struct Case {
        unsigned precision;
        const char* message;
    };
    for (const Case& c :
         {Case{1, "Only 8-bit Data is Supported"}, Case{2, "Invalid Quantization Table Precision"},
          Case{15, "Invalid Quantization Table Precision"}}) {
        MemoryStream stream(body);
        QuantTable table;
        ExpectFailure([&] { table.LoadTable(stream, c.precision); }, Raised::BadStream, c.message);
        EXPECT_EQ(stream.ReadPointer(), body.data());
        EXPECT_FALSE(table.defined);
    }
}

TEST(QuantTable, ZeroValueStopsAtOnceAndKeepsEarlierState) {
    for (int zeroAt : {0, 63}) {
        SCOPED_TRACE(zeroAt);
        Bytes body(64, 3);
        body[zeroAt] = 0;
        for (bool loadedBefore : {false, true}) {
            QuantTable table;
            if (loadedBefore) table = LoadNatural(Filled(1));
            MemoryStream stream(body);
            ExpectFailure([&] { table.LoadTable(stream, 0); }, Raised::BadStream,
                          "Zero value in quantization table");
            EXPECT_EQ(stream.ReadPointer(), body.data() + zeroAt + 1);
            EXPECT_EQ(table.defined, loadedBefore);
            if (loadedBefore) {
                EXPECT_EQ(table.multipliers.values[0], 512);
            }
        }
    }
}

}  // namespace
}  // namespace Tessera::Testing
