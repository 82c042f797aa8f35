// The files cameras, phones and other encoders write, made from cjpeg's at
// test time: tessera-decode and the library decode them by default, close to
// djpeg (outside a damaged interval), the library's bytes equal the tool's,
// whole and row by row, and --strict refuses each with the saver decoder's
// message.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cjpeg_corpus.h"
#include "tessera/jpeg.h"

namespace TesseraTest {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kWidth = 227;
constexpr int kHeight = 149;
// The decoder's differential bound against djpeg (differential_test.cpp).
constexpr int kMaximumDifference = 12;
constexpr double kMeanDifference = 1.25;
// The damaged interval of "damaged-restart": cjpeg -restart 1 puts one row of
// 16-line MCUs in each.
constexpr int kDamagedInterval = 4;
constexpr int kMcuHeight = 16;

std::size_t Find(const Bytes& bytes, std::initializer_list<std::uint8_t> pattern,
                 std::size_t from = 0) {
    const auto at = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(),
                                pattern.begin(), pattern.end());
    return static_cast<std::size_t>(at - bytes.begin());
}

Bytes Segment(std::uint8_t code, const Bytes& payload) {
    const std::size_t length = payload.size() + 2;
    Bytes segment(2 + length);
    segment[0] = 0xFF;
    segment[1] = code;
    segment[2] = static_cast<std::uint8_t>(length >> 8);
    segment[3] = static_cast<std::uint8_t>(length);
    std::copy(payload.begin(), payload.end(), segment.begin() + 4);
    return segment;
}

// The JFIF APP0 segment replaced by what a camera writes: Exif (big-endian
// TIFF, one directory entry: Orientation 6) and a chunk of an ICC profile.
Bytes ExifFirst(Bytes jpeg) {
    const Bytes exif = {'E',  'x',  'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8,  // TIFF header
                        0,    1,                                                  // one entry
                        0x01, 0x12, 0,   3,   0, 0, 0,   1,   0, 6,  0, 0,        // Orientation
                        0,    0,    0,   0};                                      // no next
    Bytes icc = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 1};
    icc.resize(icc.size() + 128, 0);
    const std::size_t app0End = 4 + (std::size_t{jpeg[4]} << 8 | jpeg[5]);
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    for (const Bytes& segment : {Segment(0xE1, exif), Segment(0xE2, icc)})
        out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(app0End), jpeg.end());
    return out;
}

Bytes TrailingData(Bytes jpeg) {
    const std::string trailer = "\xFF\xD8 a phone's own data after EOI \xFF\xE1";
    jpeg.insert(jpeg.end(), trailer.begin(), trailer.end());
    return jpeg;
}

// Bytes of the entropy-coded data of one restart interval overwritten
// (never with 0xFF, so no marker is made or lost).
Bytes DamagedInterval(Bytes jpeg) {
    std::size_t at = Find(jpeg, {0xFF, 0xDA});
    for (int marker = 0; marker < kDamagedInterval; ++marker) {
        do at = Find(jpeg, {0xFF}, at + 1);
        while (at + 1 < jpeg.size() && (jpeg[at + 1] < 0xD0 || jpeg[at + 1] > 0xD7));
    }
    for (std::size_t i = at + 6; i < at + 30 && i < jpeg.size(); ++i)
        jpeg[i] = static_cast<std::uint8_t>((jpeg[i] * 7 + 13) & 0x7F);
    return jpeg;
}

Bytes Unchanged(Bytes jpeg) {
    return jpeg;
}

struct CameraFile {
    const char* name;
    const char* cjpegOptions;
    Bytes (*edit)(Bytes);
    std::set<std::string> strictMessages;  // what --strict reports (one of them)
    Tessera::ColourSpace colourSpace;
    bool extended;
    unsigned orientation;
};

const CameraFile kFiles[] = {
    {"exif-first",
     "",
     ExifFirst,
     {"Missing JFIF APP0 Marker"},
     Tessera::ColourSpace::YCbCr,
     false,
     6},
    {"adobe-rgb",
     "-rgb",
     Unchanged,
     {"Missing JFIF APP0 Marker"},
     Tessera::ColourSpace::Rgb,
     false,
     0},
    {"trailing-data",
     "",
     TrailingData,
     {"Extra Data After End of Image Marker"},
     Tessera::ColourSpace::YCbCr,
     false,
     0},
    {"sixteen-bit-tables",
     "-quality 4",
     Unchanged,
     {"Only 8-bit Data is Supported"},
     Tessera::ColourSpace::YCbCr,
     true,
     0},
    {"progressive-exif",
     "-progressive",
     ExifFirst,
     {"Missing JFIF APP0 Marker"},
     Tessera::ColourSpace::YCbCr,
     false,
     6},
    {"damaged-restart",
     "-restart 1",
     DamagedInterval,
     {"Bad Huffman Code Length", "Coefficient Index out of Range", "Missing Restart Marker",
      "Invalid Marker in Compressed Stream", "Invalid Marker in Compressed Data"},
     Tessera::ColourSpace::YCbCr,
     false,
     0},
};

class CameraFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!RunQuietly("command -v cjpeg") || !RunQuietly("command -v djpeg"))
            GTEST_SKIP() << "cjpeg and djpeg are needed";
        dir = fs::temp_directory_path() / ("tessera-camera-" + std::to_string(getpid()));
        fs::create_directories(dir);
        ASSERT_TRUE(WritePpm((dir / "scene.ppm").string(), Scene(kWidth, kHeight, 7)));
    }
    void TearDown() override {
        if (!dir.empty()) fs::remove_all(dir);
    }
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    Bytes Cjpeg(const std::string& options) {
        EXPECT_TRUE(RunQuietly("cjpeg " + options + " -outfile " + ShellQuote(Path("made.jpg")) +
                               " " + ShellQuote(Path("scene.ppm"))));
        return ReadFileBytes(Path("made.jpg"));
    }
    std::optional<Picture> Djpeg(const Bytes& jpeg) {
        WriteFileBytes(Path("ref.jpg"), jpeg);
        if (!RunQuietly("djpeg -ppm -outfile " + ShellQuote(Path("ref.ppm")) + " " +
                        ShellQuote(Path("ref.jpg"))))
            return std::nullopt;
        return ReadNetpbm(Path("ref.ppm"));
    }
    // Runs tessera-decode; its exit status and standard error.
    int Tool(const std::string& arguments, std::string& errors) {
        const int status = std::system((ShellQuote(TESSERA_DECODE_PATH) + " " + arguments + " 2>" +
                                        ShellQuote(Path("err.txt")))
                                           .c_str());
        const Bytes text = ReadFileBytes(Path("err.txt"));
        errors.assign(text.begin(), text.end());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path dir;
};

// Largest and mean sample difference over the rows outside [skipFrom, skipTo).
std::pair<int, double> Compare(const Picture& a, const Picture& b, int skipFrom, int skipTo) {
    int largest = 0;
    long long total = 0, count = 0;
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(a.width);
    for (int y = 0; y < a.height; ++y) {
        if (y >= skipFrom && y < skipTo) continue;
        for (std::size_t i = y * rowBytes; i < (y + 1) * rowBytes; ++i) {
            const int d = std::abs(a.samples[i] - b.samples[i]);
            largest = std::max(largest, d);
            total += d;
            ++count;
        }
    }
    return {largest, count == 0 ? 0.0 : double(total) / double(count)};
}

TEST_F(CameraFiles, DecodeByDefaultLikeDjpegAndAreRefusedWhenStrict) {
    for (const CameraFile& file : kFiles) {
        SCOPED_TRACE(file.name);
        const Bytes original = Cjpeg(file.cjpegOptions);
        const Bytes jpeg = file.edit(original);
        ASSERT_NE(jpeg, Bytes{});
        const std::string input = Path(std::string(file.name) + ".jpg");
        ASSERT_TRUE(WriteFileBytes(input, jpeg));

        // The tool, by default, against djpeg's decode of cjpeg's own file.
        std::string errors;
        ASSERT_EQ(Tool(ShellQuote(input) + " " + ShellQuote(Path("out.ppm")), errors), 0) << errors;
        const auto ours = ReadNetpbm(Path("out.ppm"));
        const auto reference = Djpeg(original);
        ASSERT_TRUE(ours && reference);
        ASSERT_EQ(ours->samples.size(), reference->samples.size());
        // A damaged interval's rows, and the row on each side whose smooth
        // chroma reads them.
        const bool damaged = file.edit == DamagedInterval;
        const int skipFrom = damaged ? kDamagedInterval * kMcuHeight - 1 : 0;
        const auto [largest, mean] =
            Compare(*ours, *reference, skipFrom, damaged ? skipFrom + kMcuHeight + 2 : 0);
        EXPECT_LE(largest, kMaximumDifference);
        EXPECT_LE(mean, kMeanDifference);

        // The library: the tool's bytes, whole and a few rows at a time.
        Tessera::DecodeOptions options;
        options.format = Tessera::PixelFormat::Rgb;
        const Tessera::Image image = Tessera::DecodeJpeg(jpeg.data(), jpeg.size(), options);
        EXPECT_EQ(image.pixels, ours->samples);
        for (const std::size_t chunk : {1, 5, 64}) {
            Tessera::JpegReader reader(jpeg.data(), jpeg.size(), options);
            Bytes rows(chunk * reader.RowBytes()), all;
            while (const std::size_t n = reader.ReadRows(rows.data(), chunk))
                all.insert(all.end(), rows.begin(), rows.begin() + n * reader.RowBytes());
            EXPECT_EQ(all, ours->samples) << "rows " << chunk << " at a time";
        }
        const Tessera::JpegInfo info = Tessera::ReadJpegInfo(jpeg.data(), jpeg.size());
        EXPECT_EQ(info.width, unsigned{kWidth});
        EXPECT_EQ(info.colourSpace, file.colourSpace);
        EXPECT_EQ(info.extended, file.extended);
        EXPECT_EQ(info.orientation, file.orientation);
        EXPECT_EQ(info.hasIccProfile, file.edit == ExifFirst);
        EXPECT_EQ(info.jfif,
                  file.edit != ExifFirst && file.colourSpace != Tessera::ColourSpace::Rgb);
        EXPECT_EQ(info.restartInterval, damaged ? (kWidth + 15) / 16 : 0u);

        // Strict: refused as the saver's decoder refuses it, with its code.
        options.strict = true;
        try {
            Tessera::DecodeJpeg(jpeg.data(), jpeg.size(), options);
            ADD_FAILURE() << "decoded when strict";
        } catch (const std::exception& e) {
            EXPECT_TRUE(file.strictMessages.count(e.what())) << e.what();
            EXPECT_NE(Tessera::ErrorCodeOf(e), Tessera::ErrorCode::Other) << e.what();
            EXPECT_EQ(Tessera::ErrorCodeOf(e), Tessera::ErrorCodeOf(e.what()));
        }
        EXPECT_EQ(
            Tool("--strict " + ShellQuote(input) + " " + ShellQuote(Path("strict.ppm")), errors),
            1);
        bool named = false;
        for (const std::string& message : file.strictMessages)
            named = named || errors.find(": " + message + " (") != std::string::npos;
        EXPECT_TRUE(named) << errors;
        EXPECT_FALSE(fs::exists(Path("strict.ppm")));
    }
}

}  // namespace
}  // namespace TesseraTest
