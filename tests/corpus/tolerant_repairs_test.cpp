// Tolerant decodes of files that bend the format the way real files do, as
// djpeg takes them, and of files that end early.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
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

std::optional<Picture> DjpegOf(const Bytes& bytes, const std::string& name) {
    const auto directory = std::filesystem::temp_directory_path();
    const auto input = directory / ("tessera-" + name + ".jpg");
    const auto output = directory / ("tessera-" + name + ".ppm");
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const bool decoded = RunQuietly("djpeg -dct int -nosmooth -outfile " +
                                    ShellQuote(output.string()) + " " + ShellQuote(input.string()));
    std::optional<Picture> picture = decoded ? ReadNetpbm(output.string()) : std::nullopt;
    std::filesystem::remove(input);
    std::filesystem::remove(output);
    return picture;
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

}  // namespace
}  // namespace TesseraTest
