// The library's interface (tessera/jpeg.h) over the decoder: headers, whole
// pictures and pictures read row by row.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <span>

#include "jpeg_decoder.h"
#include "memory_stream.h"
#include "tessera/jpeg.h"

namespace Tessera {

namespace {

constexpr std::uint8_t kExtendedFrame = 0xC1;

JpegDecoder::Settings SettingsFor(const DecodeOptions& options) {
    return {!options.strict, options.maxPixels, options.maxScans};
}

JpegInfo InfoOf(const JpegDecoder& decoder) {
    JpegInfo info;
    if (!decoder.FrameSeen()) return info;
    info.width = decoder.PictureWidth();
    info.height = decoder.PictureHeight();
    info.components = decoder.FrameComponentCount();
    info.progressive = decoder.ProgressiveFrame();
    info.extended = decoder.Facts().frameCode == kExtendedFrame;
    info.colourSpace = info.components == 1 ? ColourSpace::Grey
                       : decoder.RgbFrame() ? ColourSpace::Rgb
                                            : ColourSpace::YCbCr;
    for (unsigned i = 0; i < info.components && i < info.sampling.size(); ++i) {
        const unsigned id = decoder.FrameComponentId(i);
        const JpegComponent& component = decoder.Component(id);
        info.sampling[i] = {id, component.HorizontalSampling(), component.VerticalSampling()};
    }
    info.restartInterval = decoder.RestartInterval();
    info.jfif = decoder.Facts().jfif;
    info.orientation = decoder.Facts().orientation;
    info.hasIccProfile = decoder.Facts().iccProfile;
    return info;
}

// Whether the entropy-coded data of the scan whose SOS marker the stream has
// just read is followed by EOI: the first marker after it that is neither a
// stuffed zero nor a restart marker. Then no later scan can change the
// samples this one gives, and its rows can be handed out as they are decoded.
bool EndOfImageFollowsScan(const InputByteStream& stream) {
    const std::uint8_t* at = stream.ReadPointer();
    const std::uint8_t* end = stream.BufferEnd();
    // The length, the component count N, N selector pairs, Ss, Se and Ah/Al.
    if (end - at < 3) return false;
    const std::ptrdiff_t header = 2 + 1 + 2 * std::ptrdiff_t{at[2]} + 3;
    if (end - at < header) return false;
    for (at += header; at < end; ++at) {
        if (*at != 0xFF) continue;
        const std::uint8_t* code = at + 1;
        while (code < end && *code == 0xFF) ++code;
        if (code == end) return false;
        if (*code == 0x00 || (*code >= 0xD0 && *code <= 0xD7)) {
            at = code;
            continue;
        }
        return *code == 0xD9;
    }
    return false;
}

// BGRA pixels into the layout, at out; returns the end of what it wrote.
std::uint8_t* Rearrange(const std::vector<std::uint32_t>& pixels, PixelFormat format,
                        std::uint8_t* out) {
    switch (format) {
        case PixelFormat::Bgra:
            std::memcpy(out, pixels.data(), pixels.size() * 4);
            return out + pixels.size() * 4;
        case PixelFormat::Rgba:
            for (const std::uint32_t pixel : pixels) {
                *out++ = static_cast<std::uint8_t>(pixel >> 16);
                *out++ = static_cast<std::uint8_t>(pixel >> 8);
                *out++ = static_cast<std::uint8_t>(pixel);
                *out++ = static_cast<std::uint8_t>(pixel >> 24);
            }
            return out;
        case PixelFormat::Rgb:
            for (const std::uint32_t pixel : pixels) {
                *out++ = static_cast<std::uint8_t>(pixel >> 16);
                *out++ = static_cast<std::uint8_t>(pixel >> 8);
                *out++ = static_cast<std::uint8_t>(pixel);
            }
            return out;
        case PixelFormat::Grey:
            break;
    }
    return out;
}

}  // namespace

class JpegReader::State {
  public:
    State(const std::uint8_t* data, std::size_t size, const DecodeOptions& options);
    ~State() { decoder.EndPicture(); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    std::size_t ReadRows(std::uint8_t* out, std::size_t maxRows);

    JpegInfo info;
    PixelFormat format;

  private:
    enum class Mode {
        AtScan,     // the first scan's marker has been read
        Streaming,  // its rows are decoded as they are read
        Decoded,    // every scan has been decoded
        Failed,     // rows come as far as the picture was decoded
    };

    void Start();
    // Makes rows from `row` on available; returns the end of those that are.
    std::size_t Prepare(std::size_t row);
    void FinishStream();
    void Convert(std::size_t first, std::size_t last, std::uint8_t* out);
    void Fail() { mode = Mode::Failed; }

    MemoryStream stream;
    JpegDecoder decoder;
    Mode mode = Mode::Decoded;
    // A failure that the next ReadRows throws: one after the frame header
    // in the constructor, or one met after rows were written in a call.
    std::exception_ptr deferred;
    std::size_t nextRow = 0;
    std::size_t mcuHeight = 8;
    unsigned mcuRowsDecoded = 0;  // streaming
    int transformedMcuRow = -1;   // progressive: the MCU row the samples hold
    std::vector<std::uint32_t> pixels;
};

JpegReader::State::State(const std::uint8_t* data, std::size_t size, const DecodeOptions& options)
    : format(options.format), stream(std::span<const std::uint8_t>(data, size)) {
    decoder.SetSettings(SettingsFor(options));
    try {
        decoder.BeginPicture(stream);
        if (decoder.ReadSegmentsToScan(stream)) {
            mode = Mode::AtScan;
        } else {
            decoder.FinishPicture(stream);  // a picture without scans
        }
    } catch (...) {
        if (!decoder.FrameSeen()) {
            decoder.EndPicture();
            throw;
        }
        deferred = std::current_exception();
        mode = Mode::Failed;
    }
    info = InfoOf(decoder);
    mcuHeight = 8 * std::size_t{std::max(decoder.MaxVerticalSampling(), 1u)};
}

void JpegReader::State::Start() {
    const bool empty = info.width == 0 || info.height == 0;
    if (!info.progressive && !empty && EndOfImageFollowsScan(stream)) {
        decoder.SetSampleBands(true);
        decoder.ReadScanHeader(stream);
        mode = Mode::Streaming;
        return;
    }
    decoder.DecodeScan(stream);
    while (decoder.ReadSegmentsToScan(stream)) decoder.DecodeScan(stream);
    decoder.FinishPicture(stream);
    mode = Mode::Decoded;
}

void JpegReader::State::FinishStream() {
    decoder.EndScanData(stream);
    // The scan is the last before EOI (EndOfImageFollowsScan).
    while (decoder.ReadSegmentsToScan(stream)) decoder.DecodeScan(stream);
    decoder.FinishPicture(stream);
}

std::size_t JpegReader::State::Prepare(std::size_t row) {
    const auto mcuRow = static_cast<unsigned>(row / mcuHeight);
    const std::size_t end = std::min<std::size_t>(info.height, (mcuRow + 1) * mcuHeight);
    if (mode == Mode::Streaming && mcuRowsDecoded <= mcuRow) {
        decoder.DecodeMcuRows(stream, mcuRow + 1);
        mcuRowsDecoded = mcuRow + 1;
        if (mcuRowsDecoded == decoder.McuRowCount()) {
            FinishStream();
            mode = Mode::Decoded;
        }
    }
    if (info.progressive && transformedMcuRow != static_cast<int>(mcuRow)) {
        decoder.TransformMcuRow(mcuRow);
        transformedMcuRow = static_cast<int>(mcuRow);
    }
    return end;
}

void JpegReader::State::Convert(std::size_t first, std::size_t last, std::uint8_t* out) {
    const std::size_t count = (last - first) * info.width;
    if (count == 0) return;  // a frame of width 0
    // A decode that fails before any scan has begun leaves the picture as
    // the decoder's image has it then: zero bytes.
    const bool anything = decoder.ScansDone() > 0;
    if (format == PixelFormat::Grey) {
        if (!anything || !decoder.GreyRowsInto(first, last, out)) std::memset(out, 0, count);
        return;
    }
    // BGRA rows go straight to a buffer that can hold 32-bit pixels.
    if (format == PixelFormat::Bgra && reinterpret_cast<std::uintptr_t>(out) % 4 == 0) {
        auto* direct = reinterpret_cast<std::uint32_t*>(out);
        if (!anything || !decoder.ConvertRowsInto(first, last, direct))
            std::fill_n(direct, count, 0u);
        return;
    }
    // Other layouts are rearranged from BGRA a row at a time, which stays in
    // the cache.
    const std::size_t width = info.width;
    pixels.resize(width);
    for (std::size_t row = first; row < last; ++row) {
        if (!anything || !decoder.ConvertRowsInto(row, row + 1, pixels.data()))
            std::fill(pixels.begin(), pixels.end(), 0u);
        out = Rearrange(pixels, format, out);
    }
}

std::size_t JpegReader::State::ReadRows(std::uint8_t* out, std::size_t maxRows) {
    if (deferred) {
        std::exception_ptr failure = nullptr;
        std::swap(failure, deferred);
        std::rethrow_exception(failure);
    }
    try {
        if (mode == Mode::AtScan) Start();
    } catch (...) {
        Fail();
        throw;
    }
    const std::size_t rowBytes = info.width * BytesPerPixel(format);
    std::size_t written = 0;
    while (written < maxRows && nextRow < info.height) {
        std::size_t end = std::min<std::size_t>(info.height, nextRow + (maxRows - written));
        if (mode != Mode::Failed) {
            try {
                end = std::min(end, Prepare(nextRow));
            } catch (...) {
                // The rows written so far in this call are the caller's; the
                // failure comes with the next call.
                Fail();
                if (written == 0) throw;
                deferred = std::current_exception();
                return written;
            }
        } else if (info.progressive) {
            end = std::min(end, Prepare(nextRow));
        }
        Convert(nextRow, end, out + written * rowBytes);
        written += end - nextRow;
        nextRow = end;
    }
    return written;
}

JpegReader::JpegReader(const std::uint8_t* data, std::size_t size, const DecodeOptions& options)
    : state(std::make_unique<State>(data, size, options)) {}

JpegReader::~JpegReader() = default;
JpegReader::JpegReader(JpegReader&&) noexcept = default;
JpegReader& JpegReader::operator=(JpegReader&&) noexcept = default;

const JpegInfo& JpegReader::Info() const {
    return state->info;
}

PixelFormat JpegReader::Format() const {
    return state->format;
}

std::size_t JpegReader::RowBytes() const {
    return std::size_t{state->info.width} * BytesPerPixel(state->format);
}

std::size_t JpegReader::ReadRows(std::uint8_t* out, std::size_t maxRows) {
    return state->ReadRows(out, maxRows);
}

JpegInfo ReadJpegInfo(const std::uint8_t* data, std::size_t size) {
    MemoryStream stream(std::span<const std::uint8_t>(data, size));
    JpegDecoder decoder;
    decoder.SetSettings(SettingsFor(DecodeOptions{}));
    struct End {
        JpegDecoder& decoder;
        ~End() { decoder.EndPicture(); }
    } end{decoder};
    decoder.BeginPicture(stream);
    if (!decoder.ReadSegmentsToScan(stream) && !decoder.EndOfImageSeen())
        throw JpegBadStream("End of Image Marker Not Found");
    return InfoOf(decoder);
}

Image DecodeJpeg(const std::uint8_t* data, std::size_t size, const DecodeOptions& options) {
    JpegReader reader(data, size, options);
    Image image;
    image.width = reader.Info().width;
    image.height = reader.Info().height;
    image.format = options.format;
    image.pixels.resize(reader.RowBytes() * image.height);
    // A picture without rows is still decoded to its end, for its failures:
    // the first call decodes whatever the picture's rows need.
    std::size_t row = 0;
    while (const std::size_t rows =
               reader.ReadRows(image.pixels.data() + row * reader.RowBytes(), image.height - row))
        row += rows;
    return image;
}

}  // namespace Tessera
