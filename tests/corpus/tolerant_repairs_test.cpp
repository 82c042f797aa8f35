// Tolerant decodes of files that bend the format the way real files do, as
// djpeg takes them, and of files that end early.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "cjpeg_corpus.h"
#include "decode_helpers.h"
#include "tessera/jpeg.h"

namespace TesseraTest {
namespace {

using Bytes = std::vector<std::uint8_t>;

const CorpusFile* FileNamed(const std::string& name) {
    for (const CorpusFile& file : CjpegCorpus())
        if (file.name == name) return &file;
    return nullptr;
}

// The file with every component identifier of its frame and scans set to 1,
// as some old encoders wrote them. Segments are walked by their lengths;
// a scan's data runs to the next marker that is not a restart marker.
Bytes WithRepeatedIdentifiers(Bytes bytes) {
    std::size_t at = 2;  // after SOI
    while (at + 4 <= bytes.size() && bytes[at] == 0xFF) {
        const std::uint8_t code = bytes[at + 1];
        const std::size_t length = std::size_t{bytes[at + 2]} << 8 | bytes[at + 3];
        const std::size_t body = at + 4;
        if (code >= 0xC0 && code <= 0xC2)
            for (unsigned c = 0; c < bytes[body + 5]; ++c) bytes[body + 6 + 3 * c] = 1;
        if (code == 0xDA)
            for (unsigned c = 0; c < bytes[body]; ++c) bytes[body + 1 + 2 * c] = 1;
        at += 2 + length;
        if (code != 0xDA) continue;
        while (at + 1 < bytes.size() &&
               !(bytes[at] == 0xFF && bytes[at + 1] != 0 && (bytes[at + 1] & 0xF8) != 0xD0))
            ++at;
    }
    return bytes;
}

TEST(TolerantRepairs, RepeatedComponentIdentifiersDecodeLikeDjpeg) {
    if (CjpegCorpus().empty()) GTEST_SKIP() << CorpusSkipReason();
    for (const char* name : {"baseline-420", "baseline-444", "baseline-restart-mcu"}) {
        SCOPED_TRACE(name);
        const CorpusFile* file = FileNamed(name);
        ASSERT_NE(file, nullptr);
        const Bytes bytes = WithRepeatedIdentifiers(file->bytes);
        ASSERT_NE(bytes, file->bytes);
        const std::optional<Picture> reference = DjpegOf(bytes, name);
        ASSERT_TRUE(reference.has_value());
        const Tessera::Image image =
            Tessera::DecodeJpeg(bytes.data(), bytes.size(), {.format = Tessera::PixelFormat::Rgb});
        ASSERT_EQ(image.width, unsigned(reference->width));
        ASSERT_EQ(image.height, unsigned(reference->height));
        const Difference d =
            Compare({reference->width, reference->height, 3, image.pixels}, *reference);
        EXPECT_LE(d.maximum, kMaximumDifference);
        EXPECT_LE(d.mean, kMeanDifference);
    }
}

TEST(TolerantRepairs, CutOffColourPhotoIsMidGreyBelowWhatArrived) {
    const CorpusFile* file = FileNamed("photo-baseline");
    if (file == nullptr) file = FileNamed("baseline-420");
    if (file == nullptr) GTEST_SKIP() << CorpusSkipReason();
    const Bytes cut(file->bytes.begin(), file->bytes.begin() + file->bytes.size() / 2);
    Tessera::JpegReader reader(cut.data(), cut.size(), {.format = Tessera::PixelFormat::Rgb});
    const std::size_t width = reader.Info().width;
    const std::size_t height = reader.Info().height;
    Bytes pixels(reader.RowBytes() * height);
    std::size_t rows = 0;
    while (const std::size_t n =
               reader.ReadRows(pixels.data() + rows * reader.RowBytes(), height - rows))
        rows += n;
    ASSERT_EQ(rows, height);
    // Reported, not silent: the data ends inside the scan, and no EOI.
    ASSERT_EQ(reader.Warnings().size(), 2u);
    // The bit input's own report of the end, by the read that met it.
    const Tessera::ErrorCode end = reader.Warnings()[0].code;
    EXPECT_TRUE(end == Tessera::ErrorCode::PrematureEndOfFile ||
                end == Tessera::ErrorCode::PrematureEndOfStream);
    EXPECT_EQ(reader.Warnings()[1].code, Tessera::ErrorCode::EndOfImageMarkerNotFound);
    // The last rows got no data: every byte mid-grey. The first rows did.
    const auto row = [&](std::size_t y) {
        return Bytes(pixels.begin() + std::ptrdiff_t(y * width * 3),
                     pixels.begin() + std::ptrdiff_t((y + 1) * width * 3));
    };
    EXPECT_EQ(row(height - 1), Bytes(width * 3, 128));
    EXPECT_NE(row(0), Bytes(width * 3, 128));
}

// The segments of a file with the given marker code left out.
Bytes WithoutSegments(const Bytes& bytes, std::uint8_t code) {
    Bytes result(bytes.begin(), bytes.begin() + 2);
    std::size_t at = 2;
    while (at + 4 <= bytes.size() && bytes[at] == 0xFF && bytes[at + 1] != 0xDA) {
        const std::size_t end = at + 2 + (std::size_t{bytes[at + 2]} << 8 | bytes[at + 3]);
        if (bytes[at + 1] != code)
            result.insert(result.end(), bytes.begin() + at, bytes.begin() + end);
        at = end;
    }
    result.insert(result.end(), bytes.begin() + at, bytes.end());
    return result;
}

// The file cut at the given share of its entropy-coded data (after the
// first SOS).
Bytes CutAt(const Bytes& bytes, double share) {
    std::size_t scan = 2;
    while (scan + 1 < bytes.size() && !(bytes[scan] == 0xFF && bytes[scan + 1] == 0xDA)) ++scan;
    return Bytes(bytes.begin(),
                 bytes.begin() + std::ptrdiff_t(scan + (bytes.size() - scan) * share));
}

struct Encoded {
    const char* name;
    std::string command;  // SRC and OUT stand for the source PPM and the JPEG file
    Bytes (*change)(const Bytes&);
    const char* strictMessage;  // what a strict decode says of the file
};

Bytes Unchanged(const Bytes& bytes) {
    return bytes;
}
Bytes WithoutAdobe(const Bytes& bytes) {
    return WithoutSegments(bytes, 0xEE);
}
Bytes WithoutHuffmanTables(const Bytes& bytes) {
    return WithoutSegments(bytes, 0xC4);
}
Bytes CutAtAThird(const Bytes& bytes) {
    return CutAt(bytes, 1.0 / 3);
}
Bytes CutAtNineTenths(const Bytes& bytes) {
    return CutAt(bytes, 0.9);
}

std::string Replaced(std::string command, const std::string& source, const std::string& output) {
    for (const auto& [name, value] : {std::pair{std::string("SRC"), source}, {"OUT", output}})
        for (std::size_t at; (at = command.find(name)) != std::string::npos;)
            command.replace(at, name.size(), ShellQuote(value));
    return command;
}

// Files that cameras, print workflows, webcams and cut-off downloads bring,
// made by other encoders from the same picture: each decodes by default as
// djpeg decodes it, and strict decodes refuse it as they always have.
TEST(TolerantRepairs, OtherEncodersFilesDecodeLikeDjpeg) {
    if (CjpegCorpus().empty()) GTEST_SKIP() << CorpusSkipReason();
    const char* kPillow =
        "/usr/bin/python3 -c \"from PIL import Image; import sys; "
        "Image.open(sys.argv[1]).convert('CMYK').save(sys.argv[2], quality=90";
    const Encoded cases[] = {
        {"ImageMagick YCCK", "convert SRC -colorspace CMYK OUT", Unchanged,
         "Missing JFIF APP0 Marker"},
        {"ImageMagick YCCK 4:2:0",
         "convert SRC -colorspace CMYK -sampling-factor 2x2,1x1,1x1,2x2 OUT", Unchanged,
         "Missing JFIF APP0 Marker"},
        {"Pillow CMYK", std::string(kPillow) + ")\" SRC OUT", Unchanged,
         "Missing JFIF APP0 Marker"},
        {"Pillow CMYK 4:2:0", std::string(kPillow) + ", subsampling=2)\" SRC OUT", Unchanged,
         "Missing JFIF APP0 Marker"},
        {"Adobe RGB", "cjpeg -rgb -outfile OUT SRC", Unchanged, "Missing JFIF APP0 Marker"},
        {"RGB by identifiers", "cjpeg -rgb -outfile OUT SRC", WithoutAdobe,
         "Missing JFIF APP0 Marker"},
        {"motion-JPEG frame without tables", "cjpeg -outfile OUT SRC", WithoutHuffmanTables,
         "DC Table Not Defined"},
        {"cut at a third", "cjpeg -outfile OUT SRC", CutAtAThird, "Premature end of stream"},
        {"cut at nine tenths", "cjpeg -sample 1x1 -outfile OUT SRC", CutAtNineTenths,
         "Premature end of file"},
        {"cut with restart intervals", "cjpeg -restart 1 -outfile OUT SRC", CutAtAThird,
         "Premature end of stream"},
    };
    const auto directory = std::filesystem::temp_directory_path();
    const std::string source = (directory / "tessera-encoders.ppm").string();
    ASSERT_TRUE(WritePpm(source, Scene(96, 64, 7)));
    for (const Encoded& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string output = (directory / "tessera-encoders.jpg").string();
        if (!RunQuietly(Replaced(c.command, source, output))) {
            ADD_FAILURE() << "the encoder failed: " << c.command;
            continue;
        }
        const Bytes bytes = c.change(ReadFileBytes(output));
        std::filesystem::remove(output);
        const std::optional<Picture> reference = DjpegOf(bytes, "reference");
        ASSERT_TRUE(reference.has_value());
        const Tessera::Image image =
            Tessera::DecodeJpeg(bytes.data(), bytes.size(), {.format = Tessera::PixelFormat::Rgb});
        ASSERT_EQ(image.width, unsigned(reference->width));
        ASSERT_EQ(image.height, unsigned(reference->height));
        const Picture ours{reference->width, reference->height, 3, image.pixels};
        Picture expected = *reference;
        if (expected.channels == 1) {  // djpeg writes grey pictures as PGM
            expected.samples.clear();
            for (std::uint8_t sample : reference->samples)
                expected.samples.insert(expected.samples.end(), 3, sample);
        }
        const Difference d = Compare(ours, expected);
        EXPECT_LE(d.maximum, kMaximumDifference);
        EXPECT_LE(d.mean, kMeanDifference);
        try {
            Tessera::DecodeJpeg(bytes.data(), bytes.size(), {.strict = true});
            ADD_FAILURE() << "a strict decode took it";
        } catch (const std::exception& error) {
            EXPECT_STREQ(error.what(), c.strictMessage);
        }
    }
    std::filesystem::remove(source);
}

// A restart marker of the wrong number (a damaged byte, or an editor that
// renumbered the markers): djpeg reads a number one or two ahead of the one
// due as that many lost intervals, one or two behind as the end of an
// interval already passed, and any other as the one due; a tolerant decode
// places the data that follows it where djpeg does. Only the first MCU of
// the interval it fills may differ: djpeg decodes its zero-bit fill there.
TEST(TolerantRepairs, MisnumberedRestartMarkerResumesWhereDjpegDoes) {
    if (CjpegCorpus().empty()) GTEST_SKIP() << CorpusSkipReason();
    const auto directory = std::filesystem::temp_directory_path();
    const std::string source = (directory / "tessera-restarts.ppm").string();
    const std::string output = (directory / "tessera-restarts.jpg").string();
    ASSERT_TRUE(WritePpm(source, Scene(96, 128, 5)));
    ASSERT_TRUE(RunQuietly(Replaced("cjpeg -restart 1 -outfile OUT SRC", source, output)));
    const Bytes file = ReadFileBytes(output);
    std::filesystem::remove(source);
    std::filesystem::remove(output);
    std::vector<std::size_t> markers;
    for (std::size_t at = 0; at + 1 < file.size(); ++at)
        if (file[at] == 0xFF && (file[at + 1] & 0xF8) == 0xD0) markers.push_back(at + 1);
    ASSERT_EQ(markers.size(), 7u);  // eight rows of MCUs
    for (unsigned ahead : {1u, 2u, 3u, 4u, 5u, 6u, 7u}) {
        SCOPED_TRACE(ahead);
        Bytes bytes = file;
        std::uint8_t& code = bytes[markers[2]];
        code = static_cast<std::uint8_t>(0xD0 | ((code + ahead) & 7));
        const std::optional<Picture> reference = DjpegOf(bytes, "restart-number");
        ASSERT_TRUE(reference.has_value());
        const Tessera::Image image =
            Tessera::DecodeJpeg(bytes.data(), bytes.size(), {.format = Tessera::PixelFormat::Rgb});
        const Picture ours{reference->width, reference->height, 3, image.pixels};
        ASSERT_EQ(ours.samples.size(), reference->samples.size());
        std::size_t apart = 0;
        for (std::size_t i = 0; i < ours.samples.size(); i += 3)
            for (std::size_t c = 0; c < 3; ++c)
                if (std::abs(ours.samples[i + c] - reference->samples[i + c]) >
                    kMaximumDifference) {
                    ++apart;
                    break;
                }
        EXPECT_LE(apart, 16u * 16u);
        try {
            Tessera::DecodeJpeg(bytes.data(), bytes.size(), {.strict = true});
            ADD_FAILURE() << "a strict decode took it";
        } catch (const std::exception& error) {
            EXPECT_STREQ(error.what(), "Incorrect Restart Marker");
        }
    }
}

// A motion-JPEG frame decodes with the standard tables exactly as the file
// that carries them; all-or-nothing callers get the error instead.
TEST(TolerantRepairs, MissingTablesAreTheStandardOnes) {
    const CorpusFile* file = FileNamed("baseline-420");
    if (file == nullptr) GTEST_SKIP() << CorpusSkipReason();
    const Bytes frame = WithoutHuffmanTables(file->bytes);
    ASSERT_LT(frame.size(), file->bytes.size());
    const Tessera::Image whole = Tessera::DecodeJpeg(file->bytes.data(), file->bytes.size());
    const Tessera::Image image = Tessera::DecodeJpeg(frame.data(), frame.size());
    EXPECT_EQ(image.pixels, whole.pixels);
    EXPECT_TRUE(whole.warnings.empty());
    ASSERT_EQ(image.warnings.size(), 4u);  // DC and AC tables 0 and 1
    EXPECT_EQ(image.warnings[0].code, Tessera::ErrorCode::DcTableNotDefined);
    try {
        Tessera::DecodeJpeg(frame.data(), frame.size(), {.failOnWarning = true});
        ADD_FAILURE() << "failOnWarning took the repair";
    } catch (const Tessera::JpegError& error) {
        EXPECT_EQ(error.Code(), Tessera::ErrorCode::DcTableNotDefined);
    }
}

}  // namespace
}  // namespace TesseraTest
