// What the library's interface adds around the decode, on files made at test
// time from the cjpeg corpus: the ICC profile put together from its chunks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cjpeg_corpus.h"
#include "tessera/jpeg.h"

namespace TesseraTest {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const CorpusFile* CorpusEntry(const std::string& name) {
    for (const CorpusFile& file : CjpegCorpus())
        if (file.name == name) return &file;
    return nullptr;
}

Bytes Segment(std::uint8_t code, const Bytes& payload) {
    const std::size_t length = payload.size() + 2;
    Bytes segment = {0xFF, code, static_cast<std::uint8_t>(length >> 8),
                     static_cast<std::uint8_t>(length)};
    segment.insert(segment.end(), payload.begin(), payload.end());
    return segment;
}

// The segments put right after the JFIF APP0 segment that cjpeg writes first.
Bytes WithSegments(const Bytes& jpeg, const std::vector<Bytes>& segments) {
    const std::size_t app0End = 4 + (std::size_t{jpeg[4]} << 8 | jpeg[5]);
    Bytes out(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(app0End));
    for (const Bytes& segment : segments) out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(app0End), jpeg.end());
    return out;
}

// Bytes that no two chunks share by accident.
Bytes ProfileBytes(std::size_t size) {
    Bytes bytes(size);
    std::uint32_t state = 12345;
    for (std::uint8_t& byte : bytes) {
        state = state * 1103515245 + 12345;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

// An APP2 ICC_PROFILE segment: chunk `sequence` of `count`.
Bytes IccSegment(unsigned sequence, unsigned count, const Bytes& part) {
    Bytes payload = {'I',
                     'C',
                     'C',
                     '_',
                     'P',
                     'R',
                     'O',
                     'F',
                     'I',
                     'L',
                     'E',
                     0,
                     static_cast<std::uint8_t>(sequence),
                     static_cast<std::uint8_t>(count)};
    payload.insert(payload.end(), part.begin(), part.end());
    return Segment(0xE2, payload);
}

// The profile cut into chunks of at most 65519 bytes (what a segment holds
// after its identifier and numbers), written in the order given (numbers
// from 1), each chunk as often as it is listed.
std::vector<Bytes> IccSegments(const Bytes& profile, const std::vector<unsigned>& order,
                               unsigned count) {
    constexpr std::size_t kChunk = 65519;
    std::vector<Bytes> segments;
    for (const unsigned sequence : order) {
        const std::size_t from = std::min(profile.size(), (sequence - 1) * kChunk);
        const std::size_t to = std::min(profile.size(), from + kChunk);
        segments.push_back(IccSegment(sequence, count,
                                      Bytes(profile.begin() + static_cast<std::ptrdiff_t>(from),
                                            profile.begin() + static_cast<std::ptrdiff_t>(to))));
    }
    return segments;
}

// Pillow's own writer, which splits a profile into chunks as it sees fit;
// nothing when Pillow is not there.
Bytes PillowWithProfile(const CorpusFile& file, const Bytes& profile) {
    const fs::path dir = fs::temp_directory_path() / ("tessera-icc-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string icc = (dir / "profile.icc").string(), out = (dir / "out.jpg").string();
    WriteFileBytes(icc, profile);
    const std::string script = "from PIL import Image; Image.open('" + file.path + "').save('" +
                               out + "', icc_profile=open('" + icc + "', 'rb').read())";
    Bytes bytes;
    if (RunQuietly("/usr/bin/python3 -c " + ShellQuote(script))) bytes = ReadFileBytes(out);
    fs::remove_all(dir);
    return bytes;
}

TEST(Interface, IccProfileIsPutTogetherFromItsChunks) {
    const CorpusFile* file = CorpusEntry("baseline-420");
    if (file == nullptr) GTEST_SKIP() << CorpusSkipReason();
    const Bytes profile = ProfileBytes(150000);  // three chunks
    const Bytes small = ProfileBytes(300);
    struct Case {
        const char* name;
        Bytes jpeg;
        Bytes profile;  // what the decode gives
        bool damaged;
    };
    const Bytes& plain = file->bytes;
    std::vector<Case> cases = {
        {"none", plain, {}, false},
        {"one chunk", WithSegments(plain, IccSegments(small, {1}, 1)), small, false},
        {"in order", WithSegments(plain, IccSegments(profile, {1, 2, 3}, 3)), profile, false},
        {"out of order", WithSegments(plain, IccSegments(profile, {3, 1, 2}, 3)), profile, false},
        {"missing", WithSegments(plain, IccSegments(profile, {3, 1}, 3)), {}, true},
        {"repeated", WithSegments(plain, IccSegments(profile, {1, 2, 2, 3}, 3)), {}, true},
        {"counts disagree",
         WithSegments(plain, {IccSegment(1, 2, small), IccSegment(2, 3, small)}),
         {},
         true},
        {"number past the count", WithSegments(plain, IccSegments(small, {2}, 1)), {}, true},
    };
    if (Bytes pillow = PillowWithProfile(*file, profile); !pillow.empty())
        cases.push_back({"Pillow's", std::move(pillow), profile, false});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool strict : {false, true}) {
            Tessera::DecodeOptions options;
            options.strict = strict;
            const Tessera::Image image = Tessera::DecodeJpeg(c.jpeg.data(), c.jpeg.size(), options);
            EXPECT_TRUE(image.iccProfile == c.profile) << image.iccProfile.size() << " bytes";
            ASSERT_EQ(image.warnings.size(), c.damaged ? 1u : 0u);
            if (c.damaged) {
                EXPECT_EQ(image.warnings[0].code, Tessera::ErrorCode::IccProfileDamaged);
            }
            Tessera::JpegReader reader(c.jpeg.data(), c.jpeg.size(), options);
            EXPECT_TRUE(reader.IccProfile() == c.profile);
            EXPECT_EQ(reader.Warnings().size(), image.warnings.size());
            EXPECT_EQ(reader.Info().hasIccProfile, c.jpeg != plain);
        }
    }
}

}  // namespace
}  // namespace TesseraTest
