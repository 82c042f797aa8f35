#include "jpeg/application_segments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Tessera {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An Exif payload: "Exif\0\0", a TIFF header in the given byte order and a
// first directory of the given entries (tag, type, count, value).
struct Entry {
    std::uint16_t tag, type;
    std::uint32_t count, value;
};
Bytes Exif(bool bigEndian, const std::vector<Entry>& entries, std::size_t cut = 0) {
    Bytes b = {'E', 'x', 'i', 'f', 0, 0};
    auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> 8 * (bigEndian ? bytes - 1 - i : i)));
    };
    b.insert(b.end(), bigEndian ? 'M' : 'I');
    b.insert(b.end(), bigEndian ? 'M' : 'I');
    put(42, 2);
    put(8, 4);
    put(static_cast<std::uint32_t>(entries.size()), 2);
    for (const Entry& e : entries) {
        put(e.tag, 2);
        put(e.type, 2);
        put(e.count, 4);
        put(e.value, 2);  // a SHORT at the start of the value field
        put(0, 2);
    }
    if (cut != 0) b.resize(b.size() - cut);
    return b;
}

TEST(ApplicationSegments, ExifOrientation) {
    const Entry other{0x010F, 2, 4, 0};  // Make
    struct Case {
        const char* name;
        Bytes payload;
        unsigned orientation;
    } cases[] = {
        {"big-endian", Exif(true, {{0x0112, 3, 1, 6}}), 6},
        {"little-endian, after another tag", Exif(false, {other, {0x0112, 3, 1, 8}}), 8},
        {"no orientation", Exif(false, {other}), 0},
        {"out of range", Exif(true, {{0x0112, 3, 1, 9}}), 0},
        {"not a SHORT", Exif(true, {{0x0112, 4, 1, 3}}), 0},
        {"directory cut short", Exif(true, {other, {0x0112, 3, 1, 3}}, 5), 0},
        {"not Exif", Bytes{'E', 'x', 'i', 'x', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8}, 0},
        {"no byte order", Bytes{'E', 'x', 'i', 'f', 0, 0, 'X', 'X', 0, 42, 0, 0, 0, 8}, 0},
        {"empty", Bytes{}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ExifOrientation(c.payload), c.orientation) << c.name;
}

TEST(ApplicationSegments, IdentifiersAndAdobeTransform) {
    const std::string adobe("Adobe\0\x64\0\0\0\0\x01", 12);
    const Bytes adobeRgb = {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 0};
    EXPECT_EQ(AdobeTransform(Bytes(adobe.begin(), adobe.end())), 1);
    EXPECT_EQ(AdobeTransform(adobeRgb), 0);
    EXPECT_EQ(AdobeTransform(Bytes(adobeRgb.begin(), adobeRgb.end() - 1)), -1);  // no transform
    EXPECT_TRUE(IsJfifSegment(Bytes{'J', 'F', 'I', 'F', 0, 1, 2}));
    EXPECT_FALSE(IsJfifSegment(Bytes{'J', 'F', 'X', 'X', 0}));
    const std::string icc("ICC_PROFILE\0\x01\x01", 14);
    EXPECT_TRUE(IsIccProfileSegment(Bytes(icc.begin(), icc.end())));
    EXPECT_FALSE(IsIccProfileSegment(Bytes(icc.begin(), icc.begin() + 11)));
}

// Chunks in any order make the profile in sequence order; anything that
// leaves the sequence in doubt makes none and says why.
TEST(ApplicationSegments, IccProfileAssembly) {
    auto chunk = [](unsigned sequence, unsigned count, Bytes bytes) {
        return IccChunk{sequence, count, std::move(bytes)};
    };
    struct Case {
        const char* name;
        std::vector<IccChunk> chunks;
        Bytes profile;
        std::string damage;
    } cases[] = {
        {"none", {}, {}, ""},
        {"one chunk", {chunk(1, 1, {7, 8, 9})}, {7, 8, 9}, ""},
        {"in order", {chunk(1, 3, {1}), chunk(2, 3, {2, 2}), chunk(3, 3, {3})}, {1, 2, 2, 3}, ""},
        {"out of order",
         {chunk(3, 3, {3}), chunk(1, 3, {1}), chunk(2, 3, {2, 2})},
         {1, 2, 2, 3},
         ""},
        {"an empty chunk", {chunk(2, 2, {}), chunk(1, 2, {5})}, {5}, ""},
        {"missing", {chunk(1, 3, {1}), chunk(3, 3, {3})}, {}, "chunk 2 of 3 is missing"},
        {"repeated",
         {chunk(1, 2, {1}), chunk(1, 2, {1}), chunk(2, 2, {2})},
         {},
         "chunk 1 of 2 is repeated"},
        {"counts disagree",
         {chunk(1, 2, {1}), chunk(2, 3, {2})},
         {},
         "chunk 2 of 3 disagrees with the count 2"},
        {"number 0", {chunk(0, 1, {1})}, {}, "chunk 0 of 1 lies outside the sequence"},
        {"number past the count",
         {chunk(1, 1, {1}), chunk(2, 1, {2})},
         {},
         "chunk 2 of 1 lies outside the sequence"},
        {"count 0", {chunk(0, 0, {})}, {}, "chunk 0 of 0 lies outside the sequence"},
    };
    for (const Case& c : cases) {
        const IccProfileAssembly assembly = AssembleIccProfile(c.chunks);
        EXPECT_EQ(assembly.profile, c.profile) << c.name;
        EXPECT_EQ(assembly.damage, c.damage) << c.name;
    }

    // A payload names its chunk after the identifier; one too short names none.
    const std::string payload("ICC_PROFILE\0\x02\x05\xAA\xBB", 16);
    const IccChunk read = IccChunkOf(Bytes(payload.begin(), payload.end()));
    EXPECT_EQ(read.sequence, 2u);
    EXPECT_EQ(read.count, 5u);
    EXPECT_EQ(read.bytes, (Bytes{0xAA, 0xBB}));
    const IccChunk shortOne = IccChunkOf(Bytes(payload.begin(), payload.begin() + 13));
    EXPECT_EQ(shortOne.sequence, 0u);
    EXPECT_EQ(shortOne.count, 0u);
}

}  // namespace
}  // namespace Tessera
