// Damaged files: truncations, flipped bytes and removed segments of cjpeg-made
// files. Every decode must end cleanly or in one of the documented exceptions
// (Decode lets anything else through, which fails the test); under the
// sanitizer preset this also proves there is no invalid access, leak or
// undefined behaviour on the way.
#include <gtest/gtest.h>

#include <set>

#include "cjpeg_corpus.h"
#include "decode_helpers.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/memory_stream.h"

namespace TesseraTest {
namespace {

// A marker segment as it stands in the file, found by walking the markers
// independently of the decoder. For SOS, end includes the entropy-coded data.
struct Segment {
    std::uint8_t code;
    std::size_t begin;  // at the 0xFF
    std::size_t end;    // one past the segment (and its scan data)
};

std::vector<Segment> Segments(const std::vector<std::uint8_t>& b) {
    std::vector<Segment> segments{{0xD8, 0, 2}};
    std::size_t pos = 2;
    while (pos + 1 < b.size() && b[pos] == 0xFF) {
        const std::uint8_t code = b[pos + 1];
        if (code == 0xD9) {
            segments.push_back({code, pos, pos + 2});
            break;
        }
        std::size_t end = pos + 2 + (std::size_t(b[pos + 2]) << 8 | b[pos + 3]);
        if (code == 0xDA) {
            // Scan data runs to the first marker that is neither a stuffed
            // zero nor a restart marker.
            while (end + 1 < b.size() &&
                   !(b[end] == 0xFF && b[end + 1] != 0x00 && (b[end + 1] & 0xF8) != 0xD0))
                ++end;
        }
        segments.push_back({code, pos, end});
        pos = end;
    }
    return segments;
}

std::vector<std::uint8_t> Prefix(const std::vector<std::uint8_t>& bytes, std::size_t length) {
    return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)};
}

const char* const kSubjects[] = {"baseline-420",
                                 "progressive-420",
                                 "progressive-restart",
                                 "baseline-restart-mcu",
                                 "progressive-deep-approximation",
                                 "size-7x9",
                                 "baseline-grey",
                                 "sequential-per-component"};

std::vector<const CorpusFile*> Subjects() {
    std::vector<const CorpusFile*> subjects;
    for (const CorpusFile& file : CjpegCorpus())
        for (const char* name : kSubjects)
            if (file.name == name) subjects.push_back(&file);
    return subjects;
}

bool HasRestartMarkers(const std::string& options) {
    return options.find("-restart") != std::string::npos;
}

TEST(Malformed, TruncationAtEverySegmentBoundaryMissesTheEndOfImage) {
    const auto subjects = Subjects();
    if (subjects.empty()) GTEST_SKIP() << CorpusSkipReason();
    for (const CorpusFile* file : subjects) {
        const auto segments = Segments(file->bytes);
        ASSERT_EQ(segments.back().code, 0xD9) << file->name;
        // Each cut keeps whole segments only: the image gets what was decoded,
        // then the missing EOI is reported.
        for (std::size_t i = 1; i + 1 < segments.size(); ++i) {
            SCOPED_TRACE(file->name + " cut after segment " + std::to_string(i));
            Tessera::RasterImage image;
            const DecodeOutcome outcome = Decode(Prefix(file->bytes, segments[i].end), image);
            EXPECT_EQ(outcome.errorClass, "JpegBadStream");
            EXPECT_EQ(outcome.message, "End of Image Marker Not Found");
        }
        // A cut inside the SOI or right after it.
        Tessera::RasterImage image;
        EXPECT_EQ(Decode(Prefix(file->bytes, 1), image).message, "Missing SOI Marker");
        EXPECT_EQ(Decode(Prefix(file->bytes, 2), image).message, "Missing JFIF APP0 Marker");
    }
}

TEST(Malformed, TruncationInsideSegmentsAndScanDataEndsInADocumentedError) {
    const auto subjects = Subjects();
    if (subjects.empty()) GTEST_SKIP() << CorpusSkipReason();
    for (const CorpusFile* file : subjects) {
        const auto segments = Segments(file->bytes);
        for (const Segment& segment : segments) {
            if (segment.code == 0xD8 || segment.code == 0xD9) continue;
            std::set<std::size_t> cuts;
            for (std::size_t offset : {1, 2, 3, 4, 5, 9, 17}) cuts.insert(segment.begin + offset);
            if (segment.code == 0xDA) {
                const std::size_t length = segment.end - segment.begin;
                for (std::size_t k = 1; k < 40; ++k) cuts.insert(segment.begin + length * k / 40);
            }
            for (std::size_t cut : cuts) {
                if (cut >= segment.end) continue;
                SCOPED_TRACE(file->name + " cut at " + std::to_string(cut));
                Tessera::RasterImage image;
                const DecodeOutcome outcome = Decode(Prefix(file->bytes, cut), image);
                EXPECT_NE(outcome.errorClass, "") << "a cut file decoded cleanly";
                const std::size_t scanHeaderEnd =
                    segment.begin + 2 +
                    (std::size_t(file->bytes[segment.begin + 2]) << 8 |
                     file->bytes[segment.begin + 3]);
                if (segment.code == 0xDA && cut > scanHeaderEnd + 1 &&
                    !HasRestartMarkers(file->options)) {
                    // Bits run out inside the entropy-coded data.
                    EXPECT_EQ(outcome.errorClass, "StreamError") << outcome.message;
                }
            }
        }
    }
}

TEST(Malformed, FlippedBytesEndCleanlyOrInADocumentedError) {
    const auto subjects = Subjects();
    if (subjects.empty()) GTEST_SKIP() << CorpusSkipReason();
    std::size_t decodes = 0;
    for (const CorpusFile* file : subjects) {
        const auto segments = Segments(file->bytes);
        std::size_t firstScanData = 0;
        for (const Segment& s : segments)
            if (s.code == 0xDA && firstScanData == 0)
                firstScanData =
                    s.begin + 2 +
                    (std::size_t(file->bytes[s.begin + 2]) << 8 | file->bytes[s.begin + 3]);
        // Every byte of the headers, a sample of the scan data; each inverted
        // whole and in its lowest bit.
        std::vector<std::pair<std::size_t, std::uint8_t>> flips;
        for (std::size_t pos = 0; pos < firstScanData; ++pos)
            for (std::uint8_t mask : {0xFF, 0x01}) flips.emplace_back(pos, mask);
        const std::size_t dataSize = file->bytes.size() - firstScanData;
        for (std::size_t k = 0; k < 100; ++k)
            for (std::uint8_t mask : {0xFF, 0x01})
                flips.emplace_back(firstScanData + dataSize * k / 150, mask);
        for (const auto& [pos, mask] : flips) {
            std::vector<std::uint8_t> damaged = file->bytes;
            damaged[pos] ^= mask;
            Tessera::RasterImage image;
            const DecodeOutcome outcome = Decode(damaged, image);
            ++decodes;
            // Whatever the outcome, the image is empty or fully sized.
            ASSERT_TRUE(image.Pixels() != nullptr || image.Width() == 0)
                << file->name << " byte " << pos << " ^ " << int(mask) << ": " << outcome.message;
        }
    }
    RecordProperty("decodes", static_cast<int>(decodes));
}

TEST(Malformed, RemovedSegmentsEndCleanlyOrInADocumentedError) {
    const auto subjects = Subjects();
    if (subjects.empty()) GTEST_SKIP() << CorpusSkipReason();
    for (const CorpusFile* file : subjects) {
        const auto segments = Segments(file->bytes);
        for (const Segment& segment : segments) {
            std::vector<std::uint8_t> damaged = file->bytes;
            damaged.erase(damaged.begin() + static_cast<std::ptrdiff_t>(segment.begin),
                          damaged.begin() + static_cast<std::ptrdiff_t>(segment.end));
            Tessera::RasterImage image;
            const DecodeOutcome outcome = Decode(damaged, image);
            SCOPED_TRACE(file->name + " without the segment at " + std::to_string(segment.begin));
            switch (segment.code) {
                case 0xD8:
                    EXPECT_EQ(outcome.message, "Missing SOI Marker");
                    break;
                case 0xE0:
                    EXPECT_EQ(outcome.message, "Missing JFIF APP0 Marker");
                    break;
                case 0xD9:
                    EXPECT_EQ(outcome.message, "End of Image Marker Not Found");
                    break;
                case 0xC0:
                case 0xC2:
                    EXPECT_EQ(outcome.message, "Scan found before frame defined");
                    break;
                case 0xDB:
                    // Both tables come in one DQT segment in cjpeg's files.
                    EXPECT_EQ(outcome.message, "Quantization Table Not Defined");
                    break;
                default:
                    // A missing DHT, DRI or scan: an undefined table, data
                    // decoded with the wrong table or with unexpected restart
                    // markers, or a clean decode of fewer scans. Decode has
                    // already failed the test on anything undocumented.
                    break;
            }
        }
    }
}

// The same damaged file, decoded twice in a row by one decoder, and a good
// file after a bad one: the decoder must not carry anything of the failure.
TEST(Malformed, AFailedPictureLeavesNothingBehindForTheNext) {
    const auto subjects = Subjects();
    if (subjects.empty()) GTEST_SKIP() << CorpusSkipReason();
    for (const CorpusFile* good : subjects) {
        Tessera::RasterImage expected;
        ASSERT_EQ(Decode(good->bytes, expected).errorClass, "");
        for (const CorpusFile* bad : subjects) {
            const auto segments = Segments(bad->bytes);
            Tessera::JpegDecoder decoder;
            Tessera::RasterImage image;
            // Cut in the middle of the first scan's data.
            for (const Segment& s : segments) {
                if (s.code != 0xDA) continue;
                const auto cut = Prefix(bad->bytes, (s.begin + s.end) / 2);
                Tessera::MemoryStream broken(cut);
                EXPECT_ANY_THROW(decoder.DecodeStream(broken, image));
                break;
            }
            Tessera::MemoryStream stream(good->bytes);
            decoder.DecodeStream(stream, image);
            EXPECT_EQ(Digest(image), Digest(expected)) << bad->name << " then " << good->name;
        }
    }
}

}  // namespace
}  // namespace TesseraTest
