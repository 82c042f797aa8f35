// Fuzz target: a whole decode of arbitrary bytes, as the slideshow runs it,
// and the same bytes through the library's interface in both modes.
//
// A decode may end cleanly or in one of the documented exceptions; anything
// else escapes and the fuzzer reports it, as do the sanitizers for invalid
// accesses, leaks and undefined behaviour. The slideshow reuses one decoder
// for every picture, so after each input the same decoder decodes a small
// known picture, which must come out exactly: whatever the input did, it
// must leave the decoder ready for the next picture.
//
// The interface with strict = true must give the decoder's outcome, message
// and bytes, read row by row (on after a failure), whatever number of threads
// it is offered; by default it must end as documented, its rows must be
// DecodeJpeg's picture, and DecodeJpeg on two threads must give the outcome,
// bytes and repairs of one.
//
// A few hundred bytes may declare a frame of hundreds of megapixels, which a
// tolerant decode then fills and converts in every pixel format: frames are
// capped at a megapixel here, so that inputs run by the hundred a second,
// as other decoders' fuzzers cap them. Built with TESSERA_FUZZ_LIMITS
// (tessera_limits_fuzz) the target keeps the decoder's own limits, for
// inputs that probe them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image/raster_image.h"
#include "jpeg/input_byte_stream.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/memory_stream.h"
#include "tessera/jpeg.h"

namespace {

#ifdef TESSERA_FUZZ_LIMITS
constexpr std::uint64_t kFuzzMaxPixels = Tessera::JpegDecoder::kMaxPixels;
#else
constexpr std::uint64_t kFuzzMaxPixels = std::uint64_t{1} << 20;
#endif
constexpr int kPixelFormats = 5;  // Bgra, Rgba, Rgb, Grey, Cmyk

// A decoder with this target's limits.
struct LimitedDecoder : Tessera::JpegDecoder {
    LimitedDecoder() { SetLimits(kFuzzMaxPixels, Tessera::JpegDecoder::kMaxScans); }
};

// An 8 × 8 grey baseline picture whose one block has only a DC value of 0, so
// every pixel is mid-grey. It defines every table it uses.
const std::vector<std::uint8_t>& KnownPicture() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> b = {
            0xFF, 0xD8,                                      // SOI
            0xFF, 0xE0, 0x00, 0x10, 'J',  'F', 'I', 'F', 0,  // APP0, JFIF
            1,    2,    0,    0,    1,    0,   1,   0,   0,  //   version, density, no thumbnail
            0xFF, 0xDB, 0x00, 0x43, 0x00,                    // DQT, table 0 ...
        };
        b.insert(b.end(), 64, 8);                       //   ... of eights
        const std::uint8_t oneCode[16] = {1};           // one code of length 1
        for (std::uint8_t tableClass : {0x00, 0x10}) {  // DHT: DC 0 and AC 0
            b.insert(b.end(), {0xFF, 0xC4, 0x00, 0x14, tableClass});
            b.insert(b.end(), oneCode, oneCode + 16);
            b.push_back(0x00);  //   DC category 0 / end of block
        }
        b.insert(b.end(), {0xFF, 0xC0, 0x00, 0x0B, 8, 0, 8, 0, 8, 1, 1, 0x11, 0});  // SOF0 8 × 8
        b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0x00, 0, 63, 0});          // SOS
        b.push_back(0x3F);  // the codes 0 (DC category 0) and 0 (end of block), padded with 1s
        b.insert(b.end(), {0xFF, 0xD9});  // EOI
        return b;
    }();
    return bytes;
}

constexpr std::uint32_t kMidGrey = 0xFF808080;

// Whatever the outcome, the decoder is idle afterwards and the image is
// either empty or fully allocated.
void CheckIdle(Tessera::JpegDecoder& decoder, const Tessera::RasterImage& image) {
    bool idle = false;
    try {
        decoder.RefreshImage();
    } catch (const Tessera::JpegDecoder::JpegError&) {
        idle = true;
    }
    if (!idle) std::abort();
    const std::uint64_t pixels = std::uint64_t(image.Width()) * std::uint64_t(image.Height());
    if (pixels > Tessera::JpegDecoder::kMaxPixels) std::abort();
    if (pixels != 0 && image.Pixels() == nullptr) std::abort();
}

// How a decode ended: "" or the exception's message.
template <typename Step>
std::string Outcome(Step step) {
    try {
        step();
    } catch (const Tessera::JpegError& e) {  // JpegBadStream included
        return std::string("JpegError: ") + e.what();
    } catch (const Tessera::StreamError& e) {
        return std::string("StreamError: ") + e.what();
    }
    return "";
}

struct Rows {
    std::string outcome;
    bool constructed = false;
    std::vector<std::uint8_t> pixels;
};

// Every row of the picture, `chunk` rows at a time, on after a failure.
Rows ReadAll(const std::uint8_t* data, std::size_t size, const Tessera::DecodeOptions& options,
             std::size_t chunk) {
    Rows rows;
    std::optional<Tessera::JpegReader> reader;
    rows.outcome = Outcome([&] { reader.emplace(data, size, options); });
    if (!reader) return rows;
    rows.constructed = true;
    std::vector<std::uint8_t> buffer(chunk * reader->RowBytes());
    for (std::size_t n = 1; n != 0;) {
        const std::string failure = Outcome([&] { n = reader->ReadRows(buffer.data(), chunk); });
        if (!failure.empty()) {
            if (rows.outcome.empty()) rows.outcome = failure;
            continue;
        }
        rows.pixels.insert(rows.pixels.end(), buffer.begin(),
                           buffer.begin() + static_cast<std::ptrdiff_t>(n * reader->RowBytes()));
    }
    return rows;
}

// A region of a picture is that rectangle of the whole decode, byte for byte.
void CheckRegion(const std::uint8_t* data, std::size_t size, Tessera::DecodeOptions options,
                 const Tessera::Image& whole) {
    if (whole.width == 0 || whole.height == 0) return;
    const unsigned x = whole.width / 3, y = whole.height / 4;
    options.region = {x, y, whole.width - x - whole.width / 5, whole.height - y};
    Tessera::Image part;
    const std::string outcome = Outcome([&] { part = Tessera::DecodeJpeg(data, size, options); });
    if (!outcome.empty()) std::abort();
    const std::size_t pixel = Tessera::BytesPerPixel(whole.format);
    const std::size_t rowBytes = options.region.width * pixel;
    if (part.pixels.size() != rowBytes * options.region.height) std::abort();
    for (unsigned row = 0; row < options.region.height; ++row) {
        const auto* from = whole.pixels.data() + ((y + row) * std::size_t{whole.width} + x) * pixel;
        if (!std::equal(from, from + rowBytes, part.pixels.data() + row * rowBytes)) std::abort();
    }
}

// The same decode on two threads ends as the one on one thread did, with
// the same bytes and the same repairs in the same order.
void CheckTwoThreads(const std::uint8_t* data, std::size_t size, Tessera::DecodeOptions options,
                     const std::string& oneThreadOutcome, const Tessera::Image& oneThread) {
    options.threads = 2;
    Tessera::Image twoThreads;
    const std::string outcome =
        Outcome([&] { twoThreads = Tessera::DecodeJpeg(data, size, options); });
    if (outcome != oneThreadOutcome) std::abort();
    if (!outcome.empty()) return;
    if (twoThreads.pixels != oneThread.pixels) std::abort();
    if (twoThreads.warnings.size() != oneThread.warnings.size()) std::abort();
    for (std::size_t i = 0; i < oneThread.warnings.size(); ++i) {
        if (twoThreads.warnings[i].code != oneThread.warnings[i].code ||
            twoThreads.warnings[i].text != oneThread.warnings[i].text)
            std::abort();
    }
}

void CheckInterface(const std::uint8_t* data, std::size_t size) {
    LimitedDecoder decoder;
    Tessera::RasterImage image;
    Tessera::MemoryStream stream(std::span<const std::uint8_t>(data, size));
    const std::string expected = Outcome([&] { decoder.DecodeStream(stream, image); });
    Tessera::DecodeOptions strict;
    strict.strict = true;
    strict.maxPixels = kFuzzMaxPixels;
    strict.threads = 2;  // strict decodes run on one thread all the same
    const std::size_t chunk = size % 13 + 1;
    const Rows rows = ReadAll(data, size, strict, chunk);
    if (rows.outcome != expected) std::abort();
    const auto* pixels = reinterpret_cast<const std::uint8_t*>(image.Pixels());
    const std::size_t bytes = std::size_t(image.Width()) * std::size_t(image.Height()) * 4;
    if (!rows.constructed) {
        if (image.Width() != 0) std::abort();
    } else if (rows.pixels.size() != bytes ||
               (bytes != 0 && !std::equal(rows.pixels.begin(), rows.pixels.end(), pixels))) {
        std::abort();
    }

    Tessera::DecodeOptions tolerant;
    tolerant.format = static_cast<Tessera::PixelFormat>(size % kPixelFormats);
    tolerant.maxPixels = kFuzzMaxPixels;
    tolerant.failOnWarning = size % 7 == 0;
    // Every pixel mode, and libjpeg's at every scale.
    tolerant.pixels = static_cast<Tessera::Pixels>(size / 7 % 3);
    if (tolerant.pixels != Tessera::Pixels::Exact)
        tolerant.scale = {unsigned(size / 21 % 8) + 1, 8};
    const Rows tolerantRows = ReadAll(data, size, tolerant, chunk + 3);
    Tessera::Image whole;
    const std::string outcome = Outcome([&] { whole = Tessera::DecodeJpeg(data, size, tolerant); });
    if (outcome != tolerantRows.outcome) std::abort();
    if (outcome.empty() && whole.pixels != tolerantRows.pixels) std::abort();
    if (outcome.empty()) CheckRegion(data, size, tolerant, whole);
    CheckTwoThreads(data, size, tolerant, outcome, whole);
    Outcome([&] { Tessera::ReadJpegInfo(data, size); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    LimitedDecoder decoder;
    Tessera::RasterImage image;
    Tessera::MemoryStream stream(std::span<const std::uint8_t>(data, size));
    try {
        decoder.DecodeStream(stream, image);
    } catch (const Tessera::JpegDecoder::JpegError&) {  // JpegBadStream included
    } catch (const Tessera::InputByteStream::StreamError&) {
    }
    CheckIdle(decoder, image);

    // The next picture decodes as if the decoder were new (no exception may
    // pass here at all).
    Tessera::RasterImage next;
    Tessera::MemoryStream known(KnownPicture());
    decoder.DecodeStream(known, next);
    CheckIdle(decoder, next);
    if (next.Width() != 8 || next.Height() != 8) std::abort();
    for (int i = 0; i < 64; ++i)
        if (next.Pixels()[i] != kMidGrey) std::abort();

    CheckInterface(data, size);
    return 0;
}
