// What the library's interface adds around the decode, on files made at test
// time from the cjpeg corpus: the ICC profile put together from its chunks,
// rows at a pitch and in the caller's buffer, pictures turned upright by
// their Exif orientation, the memory limit and headers read with options.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
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
    Bytes segment(4 + payload.size());
    segment[0] = 0xFF;
    segment[1] = code;
    segment[2] = static_cast<std::uint8_t>(length >> 8);
    segment[3] = static_cast<std::uint8_t>(length);
    std::copy(payload.begin(), payload.end(), segment.begin() + 4);
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

// An APP1 Exif segment whose first directory holds the orientation alone.
Bytes ExifSegment(unsigned orientation) {
    return Segment(0xE1, {'E',
                          'x',
                          'i',
                          'f',
                          0,
                          0,
                          'I',
                          'I',
                          42,
                          0,
                          8,
                          0,
                          0,
                          0,  // TIFF header
                          1,
                          0,  // one entry
                          0x12,
                          0x01,
                          3,
                          0,
                          1,
                          0,
                          0,
                          0,  // Orientation
                          static_cast<std::uint8_t>(orientation),
                          0,
                          0,
                          0,  // its value
                          0,
                          0,
                          0,
                          0});  // no next
}

// All rows through JpegReader, `chunk` at a time, `pitch` bytes apart; the
// bytes between rows must stay as they were.
Bytes ReadWithReader(const Bytes& jpeg, const Tessera::DecodeOptions& options, std::size_t chunk,
                     std::size_t padding) {
    Tessera::JpegReader reader(jpeg.data(), jpeg.size(), options);
    const std::size_t rowBytes = reader.RowBytes(), pitch = rowBytes + padding;
    Bytes rows(chunk * pitch, 0xA5), all;
    while (const std::size_t n = reader.ReadRows(rows.data(), chunk, pitch)) {
        for (std::size_t i = 0; i < n; ++i) {
            const auto row = rows.begin() + static_cast<std::ptrdiff_t>(i * pitch);
            all.insert(all.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
            EXPECT_TRUE(std::all_of(row + static_cast<std::ptrdiff_t>(rowBytes),
                                    row + static_cast<std::ptrdiff_t>(pitch),
                                    [](std::uint8_t b) { return b == 0xA5; }));
        }
    }
    EXPECT_EQ(all.size(), rowBytes * reader.Height());
    return all;
}

// DecodeJpegInto with a buffer of exactly the size it needs.
Bytes ReadInto(const Bytes& jpeg, const Tessera::DecodeOptions& options, std::size_t padding) {
    const Tessera::JpegInfo info = Tessera::ReadJpegInfo(jpeg.data(), jpeg.size(), options);
    const std::size_t rowBytes = info.outputWidth * Tessera::BytesPerPixel(options.format);
    const std::size_t pitch = rowBytes + padding;
    Bytes buffer(pitch * (info.outputHeight - 1) + rowBytes, 0xA5), all;
    const Tessera::DecodeReport report = Tessera::DecodeJpegInto(
        jpeg.data(), jpeg.size(), buffer.data(), buffer.size(), pitch, options);
    EXPECT_EQ(report.width, info.outputWidth);
    EXPECT_EQ(report.height, info.outputHeight);
    for (std::size_t y = 0; y < report.height; ++y) {
        const auto row = buffer.begin() + static_cast<std::ptrdiff_t>(y * pitch);
        all.insert(all.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
    }
    for (std::size_t y = 0; y + 1 < report.height; ++y)
        for (std::size_t x = rowBytes; x < pitch; ++x) EXPECT_EQ(buffer[y * pitch + x], 0xA5);
    return all;
}

// Where each stored pixel goes to stand upright, written as the turn a
// viewer makes for each Exif orientation (not as the decoder looks up its
// pixels): a picture of width w and height h whose pixel (x, y) lands at
// the returned place.
struct Place {
    std::size_t x, y;
};
Place Upright(unsigned orientation, std::size_t x, std::size_t y, std::size_t w, std::size_t h) {
    switch (orientation) {
        case 2:  // mirrored left to right
            return {w - 1 - x, y};
        case 3:  // turned by 180 degrees
            return {w - 1 - x, h - 1 - y};
        case 4:  // mirrored top to bottom
            return {x, h - 1 - y};
        case 5:  // mirrored about the top-left to bottom-right diagonal
            return {y, x};
        case 6:  // stored turned 90 degrees anticlockwise: turned back clockwise
            return {h - 1 - y, x};
        case 7:  // mirrored about the other diagonal
            return {h - 1 - y, w - 1 - x};
        case 8:  // stored turned 90 degrees clockwise: turned back anticlockwise
            return {y, w - 1 - x};
        default:
            return {x, y};
    }
}

Bytes TurnedUpright(const Bytes& pixels, unsigned orientation, std::size_t w, std::size_t h,
                    std::size_t bytes) {
    const std::size_t outWidth = orientation >= 5 ? h : w;
    Bytes out(pixels.size());
    for (std::size_t y = 0; y < h; ++y)
        for (std::size_t x = 0; x < w; ++x) {
            const Place to = Upright(orientation, x, y, w, h);
            std::copy_n(
                pixels.begin() + static_cast<std::ptrdiff_t>((y * w + x) * bytes), bytes,
                out.begin() + static_cast<std::ptrdiff_t>((to.y * outWidth + to.x) * bytes));
        }
    return out;
}

TEST(Interface, RowsAtAPitchAndInTheCallersBufferAreThePicturesRows) {
    struct Case {
        const char* file;
        Tessera::PixelFormat format;
        std::size_t chunk, padding;
    } cases[] = {
        {"baseline-420", Tessera::PixelFormat::Bgra, 5, 12},  // streamed, 32-bit rows
        {"baseline-420", Tessera::PixelFormat::Bgr, 16, 1},
        {"progressive-422", Tessera::PixelFormat::Rgb, 3, 7},
        {"sequential-per-component", Tessera::PixelFormat::Rgbx, 64, 3},
        {"baseline-grey", Tessera::PixelFormat::Grey, 1, 5},
        {"progressive-444", Tessera::PixelFormat::Cmyk, 9, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(static_cast<int>(c.format)));
        const CorpusFile* file = CorpusEntry(c.file);
        if (file == nullptr) GTEST_SKIP() << CorpusSkipReason();
        Tessera::DecodeOptions options;
        options.format = c.format;
        const Bytes whole =
            Tessera::DecodeJpeg(file->bytes.data(), file->bytes.size(), options).pixels;
        EXPECT_EQ(ReadWithReader(file->bytes, options, c.chunk, c.padding), whole);
        EXPECT_EQ(ReadInto(file->bytes, options, c.padding), whole);
    }
}

TEST(Interface, TooSmallABufferOrPitchIsRefusedBeforeDecoding) {
    const CorpusFile* file = CorpusEntry("baseline-420");
    if (file == nullptr) GTEST_SKIP() << CorpusSkipReason();
    const Bytes& jpeg = file->bytes;
    const std::size_t rowBytes = 3 * 227, height = 149;
    struct Case {
        std::size_t pitch, size;
        Tessera::ErrorCode refused;  // Other: decoded
    } cases[] = {
        {rowBytes, rowBytes * height, Tessera::ErrorCode::Other},
        {rowBytes + 9, (rowBytes + 9) * (height - 1) + rowBytes, Tessera::ErrorCode::Other},
        {rowBytes, rowBytes * height - 1, Tessera::ErrorCode::BufferTooSmall},
        {rowBytes + 9, (rowBytes + 9) * height - 10, Tessera::ErrorCode::BufferTooSmall},
        {rowBytes - 1, rowBytes * height, Tessera::ErrorCode::PitchTooSmall},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.pitch) + " " + std::to_string(c.size));
        Bytes buffer(c.size, 0xA5);
        Tessera::ErrorCode code = Tessera::ErrorCode::Other;
        try {
            Tessera::DecodeJpegInto(jpeg.data(), jpeg.size(), buffer.data(), buffer.size(), c.pitch,
                                    {.format = Tessera::PixelFormat::Rgb});
        } catch (const Tessera::JpegError& e) {
            code = e.Code();
        }
        EXPECT_EQ(code, c.refused);
        if (code != Tessera::ErrorCode::Other) {
            EXPECT_TRUE(
                std::all_of(buffer.begin(), buffer.end(), [](auto b) { return b == 0xA5; }));
        }
    }
    Tessera::JpegReader reader(jpeg.data(), jpeg.size());
    Bytes rows(reader.RowBytes() * 2);
    EXPECT_THROW(reader.ReadRows(rows.data(), 1, reader.RowBytes() - 1), Tessera::JpegError);
    EXPECT_EQ(reader.ReadRows(rows.data(), 2, reader.RowBytes()), 2u);
}

// Each orientation against the stored picture turned by the test's own
// helper: a streamed, a progressive and a grey file, whole, row by row and
// into a buffer with a pitch; the sizes swap for 5 to 8.
TEST(Interface, OrientationTurnsThePictureUpright) {
    struct File {
        const char* name;
        Tessera::PixelFormat format;
    } files[] = {{"baseline-420", Tessera::PixelFormat::Rgb},
                 {"progressive-420", Tessera::PixelFormat::Bgra},
                 {"size-17x17-grey", Tessera::PixelFormat::Grey},
                 {"size-1x33", Tessera::PixelFormat::Bgr}};
    for (const File& entry : files) {
        const CorpusFile* file = CorpusEntry(entry.name);
        if (file == nullptr) GTEST_SKIP() << CorpusSkipReason();
        const std::size_t bytes = Tessera::BytesPerPixel(entry.format);
        Tessera::DecodeOptions options;
        options.format = entry.format;
        const Tessera::Image stored =
            Tessera::DecodeJpeg(file->bytes.data(), file->bytes.size(), options);
        options.applyOrientation = true;
        for (unsigned orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(std::string(entry.name) + ", orientation " + std::to_string(orientation));
            const Bytes jpeg = WithSegments(file->bytes, {ExifSegment(orientation)});
            const Bytes expected =
                TurnedUpright(stored.pixels, orientation, stored.width, stored.height, bytes);
            const bool turned = orientation >= 5;
            const Tessera::Image image = Tessera::DecodeJpeg(jpeg.data(), jpeg.size(), options);
            EXPECT_EQ(image.width, turned ? stored.height : stored.width);
            EXPECT_EQ(image.height, turned ? stored.width : stored.height);
            EXPECT_TRUE(image.pixels == expected);
            EXPECT_TRUE(ReadWithReader(jpeg, options, 7, 3) == expected);
            EXPECT_TRUE(ReadInto(jpeg, options, 2) == expected);
            Tessera::JpegReader reader(jpeg.data(), jpeg.size(), options);
            EXPECT_EQ(reader.Width(), image.width);
            EXPECT_EQ(reader.Height(), image.height);
            EXPECT_EQ(reader.Info().width, stored.width);
            EXPECT_EQ(reader.Info().orientation, orientation);
            // Without the option the picture comes as stored.
            EXPECT_TRUE(
                Tessera::DecodeJpeg(jpeg.data(), jpeg.size(), {.format = entry.format}).pixels ==
                stored.pixels);
        }
    }
}

// A damaged picture turned upright fails as it does unturned, and the
// reader then hands out what was decoded, turned.
TEST(Interface, OrientedReaderFailsLikeTheStoredOne) {
    const CorpusFile* file = CorpusEntry("baseline-420");
    if (file == nullptr) GTEST_SKIP() << CorpusSkipReason();
    Bytes cut = WithSegments(file->bytes, {ExifSegment(6)});
    cut.resize(cut.size() * 2 / 3);
    Tessera::DecodeOptions options{.strict = true, .format = Tessera::PixelFormat::Rgb};
    auto readAll = [&](std::string& failure) {
        Tessera::JpegReader reader(cut.data(), cut.size(), options);
        Bytes rows(reader.RowBytes() * reader.Height()), all;
        std::size_t row = 0;
        for (std::size_t n = 1; n != 0;) {
            try {
                n = reader.ReadRows(rows.data() + row * reader.RowBytes(), reader.Height() - row);
                row += n;
            } catch (const std::exception& e) {
                EXPECT_EQ(failure, "") << "a second failure";
                failure = e.what();
                EXPECT_EQ(row, 0u) << "the failure comes before any row";
            }
        }
        EXPECT_EQ(row, reader.Height());
        return rows;
    };
    std::string storedFailure, turnedFailure;
    const Bytes stored = readAll(storedFailure);
    options.applyOrientation = true;
    const Bytes turned = readAll(turnedFailure);
    EXPECT_NE(storedFailure, "");
    EXPECT_EQ(turnedFailure, storedFailure);
    EXPECT_TRUE(turned == TurnedUpright(stored, 6, 227, 149, 3));
}

// What each kind of frame holds, worked out by hand for the 227 × 149
// pictures (4:2:0: MCUs of 16 × 16, 15 columns and 10 rows of them; the
// luma has 30 × 20 blocks, each chroma component 15 × 10), is the limit at
// which a decode is taken; one byte less is refused before anything is
// decoded.
TEST(Interface, MemoryLimitRefusesWhatTheFrameNeedsAbove) {
    constexpr std::uint64_t kPixelRow = 4 * 227;  // the conversions' row
    // Rows of MCUs of samples: three, as the default's smooth 4:2:0 chroma
    // reads the rows of MCUs on each side.
    constexpr std::uint64_t kMcuRow = 3 * 64 * (30 * 2 + 2 * 15);
    constexpr std::uint64_t kBlocks = 30 * 20 + 2 * 15 * 10;
    constexpr std::uint64_t kPlanes = 64 * kBlocks;  // whole sample planes
    // Progressive coefficients: 64 a block, and its DC value once more in a
    // plane of DC values, two bytes each.
    constexpr std::uint64_t kCoefficients = 2 * (kPlanes + kBlocks);
    constexpr std::uint64_t kPicture = 227 * 149;
    enum class Api { Reader, Whole, Into };
    struct Case {
        const char* file;
        Api api;
        Tessera::PixelFormat format;
        unsigned orientation;
        std::uint64_t needs;
    } cases[] = {
        {"baseline-420", Api::Reader, Tessera::PixelFormat::Rgb, 1, kPixelRow + kMcuRow},
        {"baseline-420", Api::Into, Tessera::PixelFormat::Rgb, 2, kPixelRow + kMcuRow},
        {"baseline-420", Api::Whole, Tessera::PixelFormat::Rgb, 1,
         kPixelRow + kMcuRow + 3 * kPicture},
        {"baseline-420", Api::Reader, Tessera::PixelFormat::Grey, 6,
         kPixelRow + kMcuRow + kPicture},
        {"baseline-420", Api::Whole, Tessera::PixelFormat::Bgra, 3,
         kPixelRow + kMcuRow + 2 * 4 * kPicture},
        {"sequential-per-component", Api::Reader, Tessera::PixelFormat::Rgb, 1,
         kPixelRow + kPlanes},
        {"progressive-420", Api::Reader, Tessera::PixelFormat::Rgb, 1,
         kPixelRow + kCoefficients + kMcuRow},
        {"progressive-420", Api::Into, Tessera::PixelFormat::Rgba, 8,
         kPixelRow + kCoefficients + kMcuRow + 4 * kPicture},
    };
    for (const Case& c : cases) {
        const CorpusFile* file = CorpusEntry(c.file);
        if (file == nullptr) GTEST_SKIP() << CorpusSkipReason();
        const Bytes jpeg = WithSegments(file->bytes, {ExifSegment(c.orientation)});
        for (const std::uint64_t limit : {c.needs, c.needs - 1}) {
            SCOPED_TRACE(std::string(c.file) + " " + std::to_string(static_cast<int>(c.api)) +
                         ", limit " + std::to_string(limit));
            Tessera::DecodeOptions options{.format = c.format};
            options.maxMemory = limit;
            options.applyOrientation = true;
            Bytes into(4 * kPicture);
            Tessera::ErrorCode code = Tessera::ErrorCode::Other;
            try {
                switch (c.api) {
                    case Api::Reader:
                        ReadWithReader(jpeg, options, 16, 0);
                        break;
                    case Api::Whole:
                        Tessera::DecodeJpeg(jpeg.data(), jpeg.size(), options);
                        break;
                    case Api::Into:
                        Tessera::DecodeJpegInto(
                            jpeg.data(), jpeg.size(), into.data(), into.size(),
                            (c.orientation >= 5 ? 149 : 227) * Tessera::BytesPerPixel(c.format),
                            options);
                        break;
                }
            } catch (const Tessera::GraphicsException& e) {
                code = e.Code();
            }
            EXPECT_EQ(code, limit == c.needs ? Tessera::ErrorCode::Other
                                             : Tessera::ErrorCode::MemoryLimitExceeded);
        }
    }
}

// The headers read as a decode with the same options reads them.
TEST(Interface, HeadersAreReadWithTheOptions) {
    const CorpusFile* file = CorpusEntry("baseline-420");
    if (file == nullptr) GTEST_SKIP() << CorpusSkipReason();
    const Bytes turned = WithSegments(file->bytes, {ExifSegment(8)});
    Bytes exifFirst = file->bytes;
    exifFirst[3] = 0xE1;  // the JFIF segment is no longer one
    struct Case {
        const char* name;
        const Bytes& jpeg;
        Tessera::DecodeOptions options;
        unsigned outputWidth, outputHeight;
        Tessera::ErrorCode refused;
    } cases[] = {
        {"defaults", turned, {}, 227, 149, Tessera::ErrorCode::Other},
        {"oriented", turned, {.applyOrientation = true}, 149, 227, Tessera::ErrorCode::Other},
        {"strict", exifFirst, {.strict = true}, 0, 0, Tessera::ErrorCode::MissingJfifApp0Marker},
        {"tolerant", exifFirst, {}, 227, 149, Tessera::ErrorCode::Other},
        {"too many pixels",
         turned,
         {.maxPixels = 227 * 149 - 1},
         0,
         0,
         Tessera::ErrorCode::ImageTooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const Tessera::JpegInfo info =
                Tessera::ReadJpegInfo(c.jpeg.data(), c.jpeg.size(), c.options);
            EXPECT_EQ(c.refused, Tessera::ErrorCode::Other);
            EXPECT_EQ(info.width, 227u);
            EXPECT_EQ(info.outputWidth, c.outputWidth);
            EXPECT_EQ(info.outputHeight, c.outputHeight);
        } catch (const Tessera::GraphicsException& e) {
            EXPECT_EQ(e.Code(), c.refused);
        }
    }
    // The form without options reads as the defaults do.
    const Tessera::JpegInfo plain = Tessera::ReadJpegInfo(turned.data(), turned.size());
    EXPECT_EQ(plain.outputWidth, 227u);
    EXPECT_EQ(plain.orientation, 8u);
}

// A program built against an older header passes a shorter DecodeOptions:
// whatever lies past its structSize (here: values that would each change the
// decode) is not read, so the decode is the defaults' one; a size below 4 is
// refused.
TEST(Interface, OptionsOfAnOlderSizeAreReadUpToTheirSize) {
    const CorpusFile* file = CorpusEntry("baseline-420");
    if (file == nullptr) GTEST_SKIP() << CorpusSkipReason();
    // No JFIF segment (strict refuses it), orientation 6 (turned, the sides
    // swap) and data after EOI (a warning, which failOnWarning throws).
    Bytes jpeg = WithSegments(file->bytes, {ExifSegment(6)});
    jpeg[3] = 0xE0 + 15;  // the JFIF segment becomes APP15
    jpeg.insert(jpeg.end(), {'x', 'y'});
    struct Outcome {
        Tessera::ErrorCode code = Tessera::ErrorCode::Other;
        unsigned width = 0, height = 0;
        std::size_t bytes = 0, warnings = 0;
        bool operator==(const Outcome&) const = default;
    };
    auto decode = [&](const Tessera::DecodeOptions& options) {
        Outcome outcome;
        try {
            const Tessera::Image image = Tessera::DecodeJpeg(jpeg.data(), jpeg.size(), options);
            outcome = {Tessera::ErrorCode::Other, image.width, image.height, image.pixels.size(),
                       image.warnings.size()};
        } catch (const Tessera::GraphicsException& e) {
            outcome.code = e.Code();
        }
        return outcome;
    };
    const Outcome defaults = decode({});
    ASSERT_EQ(defaults.code, Tessera::ErrorCode::Other);
    ASSERT_EQ(defaults.warnings, 1u);
    // Each field as it changes the decode, set from `from` on.
    auto changed = [](std::size_t from) {
        Tessera::DecodeOptions o;
        auto at = [&](std::size_t offset) { return offset >= from; };
        if (at(offsetof(Tessera::DecodeOptions, strict))) o.strict = true;
        if (at(offsetof(Tessera::DecodeOptions, format))) o.format = Tessera::PixelFormat::Grey;
        if (at(offsetof(Tessera::DecodeOptions, maxPixels))) o.maxPixels = 1;
        if (at(offsetof(Tessera::DecodeOptions, maxScans))) o.maxScans = 0;
        if (at(offsetof(Tessera::DecodeOptions, failOnWarning))) o.failOnWarning = true;
        if (at(offsetof(Tessera::DecodeOptions, pixels))) o.pixels = Tessera::Pixels::Exact;
        if (at(offsetof(Tessera::DecodeOptions, applyOrientation))) o.applyOrientation = true;
        if (at(offsetof(Tessera::DecodeOptions, maxMemory))) o.maxMemory = 1;
        o.structSize = static_cast<std::uint32_t>(from);
        return o;
    };
    for (const std::size_t end :
         {offsetof(Tessera::DecodeOptions, strict), offsetof(Tessera::DecodeOptions, format),
          offsetof(Tessera::DecodeOptions, maxPixels), offsetof(Tessera::DecodeOptions, maxScans),
          offsetof(Tessera::DecodeOptions, failOnWarning), offsetof(Tessera::DecodeOptions, pixels),
          offsetof(Tessera::DecodeOptions, applyOrientation),
          offsetof(Tessera::DecodeOptions, scale), offsetof(Tessera::DecodeOptions, maxMemory)}) {
        SCOPED_TRACE("a struct of " + std::to_string(end) + " bytes");
        EXPECT_TRUE(decode(changed(end)) == defaults);
        Tessera::JpegReader reader(jpeg.data(), jpeg.size(), changed(end));
        EXPECT_EQ(reader.Width(), 227u);
        EXPECT_EQ(reader.Format(), Tessera::PixelFormat::Bgra);
    }
    // The fields themselves, read in full: each of these refuses the file.
    for (const std::size_t from :
         {offsetof(Tessera::DecodeOptions, strict), offsetof(Tessera::DecodeOptions, maxPixels),
          offsetof(Tessera::DecodeOptions, maxScans),
          offsetof(Tessera::DecodeOptions, failOnWarning),
          offsetof(Tessera::DecodeOptions, maxMemory)}) {
        Tessera::DecodeOptions options = changed(from);
        options.structSize = sizeof(Tessera::DecodeOptions);
        EXPECT_NE(decode(options).code, Tessera::ErrorCode::Other) << from;
    }
    for (const std::uint32_t size : {0u, 3u}) {
        Tessera::DecodeOptions options;
        options.structSize = size;
        EXPECT_EQ(decode(options).code, Tessera::ErrorCode::OptionsSizeNotSupported);
    }
}

}  // namespace
}  // namespace TesseraTest
