#include "image/zeroed_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tessera {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

bool AllZero(const std::uint8_t* block, std::size_t bytes) {
    return std::all_of(block, block + bytes, [](std::uint8_t b) { return b == 0; });
}

// Every block comes zeroed, however the blocks before it were sized, written
// and freed: fresh ones, and the large ones kept and handed out again for
// equal, smaller or larger requests, past the number and bytes kept.
TEST(ZeroedMemory, EveryBlockComesZeroed) {
    struct Case {
        const char* name;
        std::vector<std::size_t> sizes;  // allocated together, written, then freed
    };
    const std::vector<Case> cases = {
        {"small", {1, 4095, 65535}},
        {"mid-sized, kept as the large ones", {65536, 100000, 300000}},
        {"mid-sized again, smaller and larger", {90000, 70000, 600000}},
        {"more mid-sized blocks than are kept",
         {65536, 70000, 80000, 90000, 100000, 110000, 120000, 130000, 140000, 150000}},
        {"large", {4 * kMiB, 16 * kMiB + 3}},
        {"the same again", {4 * kMiB, 16 * kMiB + 3}},
        {"smaller than a kept block", {9 * kMiB, 3 * kMiB}},
        {"larger than any kept block", {40 * kMiB}},
        {"more blocks than are kept",
         {5 * kMiB, 6 * kMiB, 7 * kMiB, 8 * kMiB, 9 * kMiB, 10 * kMiB}},
        {"more bytes than are kept", {100 * kMiB, 120 * kMiB, 90 * kMiB}},
        {"beyond the bytes kept", {300 * kMiB}},
        {"after all that", {4 * kMiB, 5 * kMiB, 100 * kMiB, 16 * kMiB + 3}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t*> blocks;
        for (const std::size_t bytes : c.sizes) {
            auto* block = static_cast<std::uint8_t*>(AllocateZeroed(bytes));
            ASSERT_TRUE(AllZero(block, bytes)) << c.name << ", " << bytes << " bytes";
            std::fill(block, block + bytes, std::uint8_t{0xA5});
            blocks.push_back(block);
        }
        for (std::size_t i = 0; i < blocks.size(); ++i) FreeZeroed(blocks[i], c.sizes[i]);
    }
    ReleaseKeptBlocks();
    auto* block = static_cast<std::uint8_t*>(AllocateZeroed(16 * kMiB));
    EXPECT_TRUE(AllZero(block, 16 * kMiB));
    FreeZeroed(block, 16 * kMiB);
    ReleaseKeptBlocks();
}

#if defined(__linux__)
// What keeping them is for: the next picture of the same size takes the block
// back rather than new pages.
TEST(ZeroedMemory, ALargeBlockIsTakenAgainForTheNextPicture) {
    ReleaseKeptBlocks();  // none of an earlier test's blocks fits better
    void* first = AllocateZeroed(24 * kMiB);
    FreeZeroed(first, 24 * kMiB);
    void* second = AllocateZeroed(24 * kMiB);
    EXPECT_EQ(second, first);
    FreeZeroed(second, 24 * kMiB);
    ReleaseKeptBlocks();
}
#endif

}  // namespace
}  // namespace Tessera
