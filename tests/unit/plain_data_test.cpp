#include "jpeg/plain_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace Tessera {
namespace {

// Random data with stuffed 0xFF 0x00 pairs at the given rate and, in some
// cases, one marker (0xFF then a non-zero byte) or a lone 0xFF at the end,
// searched from every start up to every stop: the skip passes no marker,
// never stops between an 0xFF and its stuffed zero, and stops fewer than 17
// bytes before the first marker, the stop or the last byte (past the stop
// only to take the stuffed zero of an 0xFF before it).
TEST(PlainData, SkipsStretchesUpToTheFirstMarker) {
    struct Case {
        const char* name;
        int stuffedIn16;
        bool marker, ffLast;
    };
    const Case cases[] = {
        {"plain bytes", 0, false, false}, {"dense stuffing", 6, false, false},
        {"a marker", 2, true, false},     {"a marker in dense stuffing", 8, true, false},
        {"0xFF last", 2, false, true},
    };
    std::mt19937 rng(7);
    for (const Case& c : cases) {
        for (int round = 0; round < 40; ++round) {
            std::vector<std::uint8_t> data;
            const std::size_t length = 1 + rng() % 300;
            while (data.size() < length) {
                if (static_cast<int>(rng() % 16) < c.stuffedIn16) {
                    data.push_back(0xFF);
                    data.push_back(0x00);
                } else {
                    data.push_back(static_cast<std::uint8_t>(rng() % 255));  // never 0xFF
                }
            }
            if (c.marker) {
                const std::size_t at = rng() % data.size();
                data.insert(data.begin() + static_cast<std::ptrdiff_t>(at),
                            {0xFF, static_cast<std::uint8_t>(1 + rng() % 255)});
            }
            if (c.ffLast) data.push_back(0xFF);
            const std::uint8_t* begin = data.data();
            const std::uint8_t* end = begin + data.size();
            for (const std::uint8_t* from = begin; from < end; ++from) {
                if (from > begin && from[-1] == 0xFF) continue;  // between 0xFF and its zero
                const std::uint8_t* marker = from;
                while (marker + 1 < end && !(marker[0] == 0xFF && marker[1] != 0)) ++marker;
                if (marker + 1 >= end) marker = end;
                for (const std::uint8_t* stop = from; stop <= end; ++stop) {
                    const std::uint8_t* at = SkipPlainStretches(from, stop, end);
                    const std::uint8_t* limit = std::min({marker, stop, end - 1});
                    ASSERT_GE(at, from) << c.name;
                    // Past the stop only by a stuffed zero.
                    ASSERT_TRUE(at == from || (at <= marker && at <= stop + 1)) << c.name;
                    ASSERT_TRUE(at == from || at[-1] != 0xFF) << c.name;
                    ASSERT_LT(limit - at, 17)
                        << c.name << ", from " << (from - begin) << ", stop " << (stop - begin);
                }
            }
        }
    }
}

// The first marker and its code, past stuffed zeros and fill bytes; none
// where the data ends before a code.
TEST(PlainData, FindsTheNextMarkersCode) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int prefix, code;  // offsets; -1: no marker
    };
    std::vector<std::uint8_t> longRun(150, 0x11);
    for (std::size_t i = 5; i + 1 < longRun.size(); i += 23) longRun[i] = 0xFF, longRun[i + 1] = 0;
    longRun.insert(longRun.end(), {0xFF, 0xFF, 0xC4});
    const Case cases[] = {
        {"after a stuffed zero", {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD9}, 4, 5},
        {"fill bytes before the code", {0x12, 0xFF, 0xFF, 0xFF, 0xD0}, 1, 4},
        {"right after a stuffed pair", {0xFF, 0x00, 0xFF, 0xD7}, 2, 3},
        {"only stuffed pairs", {0xFF, 0x00, 0x01, 0xFF, 0x00}, -1, -1},
        {"fill bytes at the end", {0x01, 0xFF, 0xFF}, -1, -1},
        {"nothing", {}, -1, -1},
        {"a long stretch of plain data", longRun, 150, 152},
    };
    for (const Case& c : cases) {
        const std::uint8_t* begin = c.bytes.data();
        const MarkerAt marker = NextMarker(begin, begin + c.bytes.size());
        if (c.prefix < 0) {
            EXPECT_EQ(marker.prefix, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(marker.prefix, nullptr) << c.name;
        EXPECT_EQ(marker.prefix - begin, c.prefix) << c.name;
        EXPECT_EQ(marker.code - begin, c.code) << c.name;
    }
}

}  // namespace
}  // namespace Tessera
