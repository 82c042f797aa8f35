// The kernels' exact samples are pinned against libjpeg itself in
// libjpeg_oracle_test.cpp; these are the properties that do not need it.

#include "jpeg/scaled_inverse_dct.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

namespace Tessera::Testing {
namespace {

// jdmaster.c's post-transform table, built the way it builds it: 1024 entries
// indexed by the descaled value's low 10 bits, first 128..255 (values 0..127),
// then 255 up to index 511, 0 from 512 to 895, and 0..127 for the last 128.
std::array<std::uint8_t, 1024> LibjpegLimitTable() {
    std::array<std::uint8_t, 1024> table{};
    for (int i = 0; i < 1024; ++i) {
        if (i < 128)
            table[i] = static_cast<std::uint8_t>(128 + i);
        else if (i < 512)
            table[i] = 255;
        else if (i < 896)
            table[i] = 0;
        else
            table[i] = static_cast<std::uint8_t>(i - 896);
    }
    return table;
}

TEST(ScaledInverseDct, RangeLimitReadsLibjpegsTable) {
    const std::array<std::uint8_t, 1024> table = LibjpegLimitTable();
    for (std::int32_t value = -5000; value <= 5000; ++value)
        ASSERT_EQ(AccurateIdct::RangeLimit(value), table[value & 1023]) << value;
    for (std::int32_t value : {INT32_MIN, INT32_MIN + 1, INT32_MAX, INT32_MAX - 600, 1 << 30})
        EXPECT_EQ(AccurateIdct::RangeLimit(value), table[value & 1023]) << value;
}

TEST(ScaledInverseDct, KernelForEachScaledSize) {
    for (unsigned size = 0; size <= 20; ++size) {
        const bool provided =
            (size >= 1 && size <= 8) || size == 10 || size == 12 || size == 14 || size == 16;
        EXPECT_EQ(ScaledInverseDctFor(size) != nullptr, provided) << size;
    }
    EXPECT_EQ(ScaledInverseDctFor(8), &AccurateInverseDctPortable);
}

// Each kernel writes all its N rows of N samples at the stride and nothing
// else, whatever the block: runs over two different canaries must agree
// inside the block and leave each canary outside it.
TEST(ScaledInverseDct, WritesExactlyItsBlock) {
    constexpr std::uint8_t kCanaries[2] = {0xA5, 0x5A};
    constexpr long kStride = 37, kMargin = 16;
    std::mt19937 random(9);
    std::uniform_int_distribution<int> coefficient(-32768, 32767), quantizer(0, 65535);
    for (unsigned size : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 10u, 12u, 14u, 16u}) {
        const long n = size;
        for (int trial = 0; trial < 20; ++trial) {
            std::array<std::int16_t, 64> c;
            std::array<std::uint16_t, 64> q;
            for (auto& v : c) v = static_cast<std::int16_t>(coefficient(random) >> (trial % 8));
            for (auto& v : q) v = static_cast<std::uint16_t>(quantizer(random) >> (trial % 9));
            std::vector<std::uint8_t> buffers[2];
            for (int b = 0; b < 2; ++b) {
                buffers[b].assign(2 * kMargin + kStride * n, kCanaries[b]);
                ScaledInverseDctFor(size)(buffers[b].data() + kMargin, kStride, c.data(), q.data());
            }
            for (long i = 0; i < static_cast<long>(buffers[0].size()); ++i) {
                const long offset = i - kMargin;
                const bool inside = offset >= 0 && offset % kStride < n && offset / kStride < n;
                if (inside)
                    ASSERT_EQ(buffers[0][i], buffers[1][i])
                        << "size " << size << ", byte " << offset;
                else
                    ASSERT_TRUE(buffers[0][i] == kCanaries[0] && buffers[1][i] == kCanaries[1])
                        << "size " << size << ", byte " << offset;
            }
        }
    }
}

}  // namespace
}  // namespace Tessera::Testing
