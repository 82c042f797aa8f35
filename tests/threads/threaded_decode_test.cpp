// Decodes on several threads give one thread's pixels, warnings and
// failures: every file of the cjpeg corpus (each sampling, baseline with and
// without restart markers, progressive), cut-off and damaged copies of
// some, read whole and a few rows at a time, in both pixel kinds, cropped
// and scaled.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "jpeg/input_byte_stream.h"
#include "jpeg/memory_stream.h"
#include "jpeg/picture_decoder.h"
#include "tessera/jpeg.h"
#include "tests/corpus/cjpeg_corpus.h"

namespace TesseraTest {
namespace {

using Bytes = std::vector<std::uint8_t>;

// What a decode gave: its rows, its warnings and how it ended.
struct Result {
    Bytes pixels;
    std::vector<std::string> warnings;
    std::string failure;

    bool operator==(const Result&) const = default;
};

// Reads the picture `chunk` rows per call; a failure ends the reading.
Result ReadAll(const Bytes& file, Tessera::DecodeOptions options, std::size_t chunk) {
    Result result;
    try {
        Tessera::JpegReader reader(file.data(), file.size(), options);
        const std::size_t rowBytes = reader.RowBytes();
        chunk = std::min<std::size_t>(chunk, reader.Info().outputHeight);
        Bytes rows(rowBytes * std::max<std::size_t>(chunk, 1));
        for (;;) {
            const std::size_t read = reader.ReadRows(rows.data(), chunk);
            if (read == 0) break;
            result.pixels.insert(result.pixels.end(), rows.begin(),
                                 rows.begin() + static_cast<std::ptrdiff_t>(read * rowBytes));
        }
        for (const Tessera::Warning& warning : reader.Warnings())
            result.warnings.push_back(warning.text);
    } catch (const std::exception& error) {
        result.failure = error.what();
    }
    return result;
}

// Copies of a file that take other paths through a decode: cut off (the rest
// filled), with a byte of its data changed (a damaged interval or scan) or
// its restart markers misnumbered,
// and a progression that stops a scan early (EOI after it; block smoothing
// fills in what the last scan would have brought).
std::vector<std::pair<std::string, Bytes>> Variants(const CorpusFile& file) {
    std::vector<std::pair<std::string, Bytes>> variants = {{"whole", file.bytes}};
    if (const std::size_t scans = ScanStarts(file.bytes).size(); scans > 1)
        variants.push_back({"without its last scan", FirstScans(file.bytes, scans - 1)});
    const std::size_t size = file.bytes.size();
    variants.push_back(
        {"cut at 2/5", Bytes(file.bytes.begin(), file.bytes.begin() + size * 2 / 5)});
    variants.push_back({"cut at 9/10", Bytes(file.bytes.begin(), file.bytes.end() - size / 10)});
    // Damage in the lower half and in the upper one (where a decode in two
    // halves meets it before the scan ends).
    for (const std::size_t at : {size * 3 / 4, size / 3}) {
        Bytes damaged = file.bytes;
        damaged[at] ^= 0x5A;
        variants.push_back({"damaged at " + std::to_string(at), damaged});
    }
    // Restart markers past the first quarter all numbered 0: a decode in two
    // halves finds none to start the lower one at.
    Bytes renumbered = file.bytes;
    bool restarts = false;
    for (std::size_t i = size / 4; i + 1 < size; ++i)
        if (renumbered[i] == 0xFF && (renumbered[i + 1] & 0xF8) == 0xD0) {
            renumbered[i + 1] = 0xD0;
            restarts = true;
        }
    if (restarts) variants.push_back({"lower restart markers numbered 0", renumbered});
    return variants;
}

struct Setting {
    const char* name;
    Tessera::Pixels pixels;
    Tessera::PixelFormat format;
    std::size_t chunk;  // rows per ReadRows
    bool failOnWarning = false;
    Tessera::Scale scale{};
    bool cropped = false;
};

using Tessera::PixelFormat;
using Tessera::Pixels;

const Setting kSettings[] = {
    {"smooth rgb whole", Pixels::Smooth, PixelFormat::Rgb, 1 << 20},
    {"smooth bgra 5 rows", Pixels::Smooth, PixelFormat::Bgra, 5},
    {"exact rgb whole", Pixels::Exact, PixelFormat::Rgb, 1 << 20},
    {"exact grey 7 rows", Pixels::Exact, PixelFormat::Grey, 7},
    {"replicated rgbx 16 rows", Pixels::Replicated, PixelFormat::Rgbx, 16},
    {"smooth fail on warning", Pixels::Smooth, PixelFormat::Rgb, 3, true},
    {"exact fail on warning whole", Pixels::Exact, PixelFormat::Rgb, 1 << 20, true},
    {"smooth 3/8", Pixels::Smooth, PixelFormat::Bgr, 4, false, {3, 8}},
    {"smooth cropped", Pixels::Smooth, PixelFormat::Rgb, 9, false, {}, true},
    {"smooth 1/2 whole", Pixels::Smooth, PixelFormat::Rgb, 1 << 20, false, {1, 2}},
    {"smooth cropped whole", Pixels::Smooth, PixelFormat::Bgrx, 1 << 20, false, {}, true},
};

Tessera::DecodeOptions OptionsFor(const Setting& setting, const Bytes& file, unsigned threads) {
    Tessera::DecodeOptions options;
    options.pixels = setting.pixels;
    options.format = setting.format;
    options.failOnWarning = setting.failOnWarning;
    options.scale = setting.scale;
    options.threads = threads;
    if (setting.cropped) {
        const Tessera::JpegInfo info = Tessera::ReadJpegInfo(file.data(), file.size());
        options.region = {info.width / 3, info.height / 4, info.width / 2, info.height / 2};
    }
    return options;
}

// Every sampling, restart intervals of whole rows, of single MCUs and of
// blocks, progressive with and without them, and sizes below an MCU.
const char* const kFiles[] = {
    "baseline-420",          "baseline-444",          "baseline-422",    "baseline-440",
    "baseline-411",          "baseline-4x2",          "baseline-grey",   "baseline-restart-mcu",
    "baseline-restart-rows", "baseline-restart-grey", "progressive-420", "progressive-444",
    "progressive-grey",      "progressive-restart",   "size-1x33",       "photo-baseline",
    "photo-progressive",
};

// Damaged and cut-off copies take these; the whole file takes them all.
bool ForDamage(const Setting& setting) {
    return !setting.cropped && setting.scale.numerator == setting.scale.denominator &&
           setting.pixels != Tessera::Pixels::Replicated;
}

TEST(ThreadedDecode, EveryThreadCountGivesOneThreadsResult) {
    if (CjpegCorpus().empty()) GTEST_SKIP() << CorpusSkipReason();
    for (const char* name : kFiles) {
        const auto file = std::find_if(CjpegCorpus().begin(), CjpegCorpus().end(),
                                       [&](const CorpusFile& entry) { return entry.name == name; });
        if (file == CjpegCorpus().end()) {
            // The photos come from the shared directory beside the repository.
            EXPECT_TRUE(std::string_view(name).starts_with("photo")) << name << " is missing";
            continue;
        }
        for (const auto& [variant, bytes] : Variants(*file)) {
            for (const Setting& setting : kSettings) {
                SCOPED_TRACE(file->name + ", " + variant + ", " + setting.name);
                if (variant != "whole" && !ForDamage(setting)) continue;
                const Result one = ReadAll(bytes, OptionsFor(setting, bytes, 1), setting.chunk);
                for (const unsigned threads : {2u, 3u, 8u}) {
                    const Result many =
                        ReadAll(bytes, OptionsFor(setting, bytes, threads), setting.chunk);
                    EXPECT_EQ(many.failure, one.failure) << threads << " threads";
                    EXPECT_EQ(many.warnings, one.warnings) << threads << " threads";
                    EXPECT_TRUE(many.pixels == one.pixels) << threads << " threads";
                }
            }
        }
    }
}

// Whether a tolerant decode that wants rows as they come may convert them
// behind the picture's last scan (asked at each scan's start).
bool LastScanStreams(const Bytes& bytes) {
    Tessera::MemoryStream stream(bytes);
    Tessera::PictureDecoder decoder;
    decoder.SetSettings({.tolerant = true,
                         .maxPixels = 1 << 20,
                         .maxScans = 1000,
                         .maxBlockVisitsPerBlock = 1000,
                         .pixels = Tessera::Pixels::Smooth});
    decoder.Begin(stream);
    bool streams = false;
    for (;;) {
        const Tessera::PictureDecoder::Step step = decoder.Next(stream);
        if (step == Tessera::PictureDecoder::Step::End) break;
        if (step != Tessera::PictureDecoder::Step::Scan) continue;
        decoder.StartScan(stream, true);
        streams = decoder.LastScanRowsFinal();
        decoder.DecodeScanRows(stream, decoder.ScanMcuRows());
        decoder.EndScan(stream);
    }
    decoder.End();
    return streams;
}

// The other thread converts rows behind a last scan only where they are
// final once it has passed them: not where block smoothing follows (its
// plan is made when the scans end, and its estimates read the DC values of
// rows below, which a last DC scan is still refining), nor where the data
// does not end with EOI, nor in a sequential picture (its only scan streams
// its own way).
TEST(ThreadedDecode, OnlyAFinalLastScanConvertsBehindItself) {
    if (CjpegCorpus().empty()) GTEST_SKIP() << CorpusSkipReason();
    const auto withoutLastScan = [](const Bytes& bytes) {
        return FirstScans(bytes, ScanStarts(bytes).size() - 1);
    };
    const auto withoutEoi = [](const Bytes& bytes) {
        return Bytes(bytes.begin(), bytes.end() - 2);
    };
    const auto whole = [](const Bytes& bytes) { return bytes; };
    const struct {
        const char* file;
        Bytes (*change)(const Bytes&);
        bool streams;
    } cases[] = {
        {"progressive-420", whole, true},
        {"progressive-grey", whole, true},
        {"progressive-restart", whole, true},
        {"progressive-420", withoutLastScan, false},   // luma's last bit missing
        {"progressive-grey", withoutLastScan, false},  // ending with a DC scan
        {"progressive-420", withoutEoi, false},
        {"baseline-420", whole, false},
    };
    for (const auto& c : cases) {
        const auto found =
            std::find_if(CjpegCorpus().begin(), CjpegCorpus().end(),
                         [&](const CorpusFile& file) { return file.name == c.file; });
        ASSERT_NE(found, CjpegCorpus().end());
        EXPECT_EQ(LastScanStreams(c.change(found->bytes)), c.streams) << c.file;
    }
}

// Rows of MCUs [first, last) of a sequential picture as BGRA, from a
// decoder whose scan stands at MCU row `decoded` (rows before it decoded),
// each converted once the rows up-sampling reads below it are decoded.
std::vector<std::uint32_t> RowsAsDecoded(Tessera::PictureDecoder& decoder,
                                         Tessera::InputByteStream& stream, unsigned decoded,
                                         unsigned first, unsigned last) {
    const std::size_t height = decoder.OutputMcuHeight(), width = decoder.OutputWidth();
    const std::size_t bottom = decoder.OutputHeight();
    const unsigned total = decoder.ScanMcuRows();
    std::vector<std::uint32_t> pixels;
    for (unsigned row = first; row < last; ++row) {
        const unsigned wanted = std::min(row + 1 + decoder.McuRowsAhead(), total);
        if (decoded < wanted) decoder.DecodeScanRows(stream, decoded = wanted);
        if (decoded == total) decoder.EndScan(stream);
        const std::size_t top = row * height, end = std::min(top + height, bottom);
        const std::size_t at = pixels.size();
        pixels.resize(at + (end - top) * width);
        EXPECT_TRUE(decoder.ConvertRowsInto(top, end, pixels.data() + at));
    }
    return pixels;
}

// A decoder moved from restart interval to restart interval, down the
// picture and back up, also after its scan has ended, decodes each part's
// rows as a decoder that went through the scan once.
TEST(ThreadedDecode, ADecoderMovedToARestartIntervalDecodesItsRowsAsInOnePass) {
    if (CjpegCorpus().empty()) GTEST_SKIP() << CorpusSkipReason();
    for (const char* name :
         {"baseline-restart-mcu", "baseline-restart-rows", "baseline-restart-grey"}) {
        const auto found = std::find_if(CjpegCorpus().begin(), CjpegCorpus().end(),
                                        [&](const CorpusFile& file) { return file.name == name; });
        ASSERT_NE(found, CjpegCorpus().end());
        for (const Tessera::Pixels pixels : {Tessera::Pixels::Smooth, Tessera::Pixels::Exact}) {
            SCOPED_TRACE(testing::Message() << name << ", pixels " << static_cast<int>(pixels));
            const auto start = [&](Tessera::PictureDecoder& decoder,
                                   Tessera::MemoryStream& stream) {
                decoder.SetSettings({.tolerant = true,
                                     .maxPixels = 1 << 20,
                                     .maxScans = 1000,
                                     .maxBlockVisitsPerBlock = 1000,
                                     .pixels = pixels});
                stream.Open(found->bytes);
                decoder.Begin(stream);
                while (decoder.Next(stream) != Tessera::PictureDecoder::Step::Scan) {
                }
                decoder.StartScan(stream, true);
                ASSERT_TRUE(decoder.ScanRowsFinal());
            };
            Tessera::MemoryStream onceStream, movedStream;
            Tessera::PictureDecoder once, moved;
            start(once, onceStream);
            start(moved, movedStream);
            const unsigned total = once.ScanMcuRows(), width = once.OutputWidth();
            const std::vector<std::uint32_t> all = RowsAsDecoded(once, onceStream, 0, 0, total);
            once.End();
            const std::vector<const std::uint8_t*> markers = moved.FindRestartMarkers(movedStream);
            ASSERT_FALSE(markers.empty());
            // Parts [first, last) of rows of MCUs, in the order they are decoded.
            const unsigned third = total / 3;
            const std::pair<unsigned, unsigned> parts[] = {
                {2 * third, total}, {third, 2 * third}, {third + 1, third + 3}, {2, third}};
            const std::uint64_t perRow = moved.ScanUnitsPerMcuRow();
            for (const auto& [first, last] : parts) {
                SCOPED_TRACE(testing::Message() << "rows " << first << " to " << last);
                const std::uint64_t interval =
                    (first - moved.McuRowsAhead()) * perRow / moved.RestartInterval();
                ASSERT_GE(interval, 1u);
                moved.MoveToRestartInterval(movedStream, interval, markers[interval - 1]);
                const auto decoded =
                    static_cast<unsigned>(interval * moved.RestartInterval() / perRow);
                const std::vector<std::uint32_t> rows =
                    RowsAsDecoded(moved, movedStream, decoded, first, last);
                const std::size_t from = std::size_t{first} * moved.OutputMcuHeight() * width;
                EXPECT_TRUE(std::equal(rows.begin(), rows.end(), all.begin() + from));
                EXPECT_FALSE(moved.ScanRepaired());
            }
            EXPECT_TRUE(moved.Warnings().empty());
            moved.End();
        }
    }
}

// Bytes before a restart marker are met by the decode of the interval
// above it, wherever the picture was split: two threads warn of them as one
// does, whichever marker has them.
TEST(ThreadedDecode, BytesBeforeAnyRestartMarkerWarnAsOnOneThread) {
    if (CjpegCorpus().empty()) GTEST_SKIP() << CorpusSkipReason();
    for (const char* name : {"baseline-restart-mcu", "baseline-restart-rows"}) {
        const auto found = std::find_if(CjpegCorpus().begin(), CjpegCorpus().end(),
                                        [&](const CorpusFile& file) { return file.name == name; });
        ASSERT_NE(found, CjpegCorpus().end());
        const Bytes& bytes = found->bytes;
        std::size_t markers = 0;
        for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
            if (bytes[i] != 0xFF || (bytes[i + 1] & 0xF8) != 0xD0) continue;
            SCOPED_TRACE(testing::Message() << name << ", marker at " << i);
            ++markers;
            Bytes padded = bytes;
            const std::uint8_t extra[] = {0x12, 0x34};
            padded.insert(padded.begin() + static_cast<std::ptrdiff_t>(i), std::begin(extra),
                          std::end(extra));
            for (const Tessera::Pixels pixels : {Tessera::Pixels::Smooth, Tessera::Pixels::Exact}) {
                Tessera::DecodeOptions options;
                options.format = Tessera::PixelFormat::Rgb;
                options.pixels = pixels;
                const Result one = ReadAll(padded, options, 1 << 20);
                ASSERT_FALSE(one.warnings.empty());
                options.threads = 2;
                EXPECT_EQ(ReadAll(padded, options, 1 << 20), one);
            }
        }
        EXPECT_GT(markers, 8u);
    }
}

// DecodeJpeg and DecodeJpegInto take the same option.
TEST(ThreadedDecode, WholePictureCallsGiveOneThreadsPixels) {
    if (CjpegCorpus().empty()) GTEST_SKIP() << CorpusSkipReason();
    for (const char* name : {"baseline-420", "progressive-420", "baseline-restart-rows"}) {
        SCOPED_TRACE(name);
        const auto found = std::find_if(CjpegCorpus().begin(), CjpegCorpus().end(),
                                        [&](const CorpusFile& file) { return file.name == name; });
        ASSERT_NE(found, CjpegCorpus().end());
        const Bytes& bytes = found->bytes;
        Tessera::DecodeOptions options;
        const Tessera::Image one = Tessera::DecodeJpeg(bytes.data(), bytes.size(), options);
        options.threads = 2;
        const Tessera::Image two = Tessera::DecodeJpeg(bytes.data(), bytes.size(), options);
        EXPECT_TRUE(one.pixels == two.pixels);
        Bytes into(one.pixels.size());
        Tessera::DecodeJpegInto(bytes.data(), bytes.size(), into.data(), into.size(), one.width * 4,
                                options);
        EXPECT_TRUE(into == one.pixels);
    }
}

}  // namespace
}  // namespace TesseraTest
