// The library's interface (tessera/jpeg.h) over the decoder: headers, whole
// pictures and pictures read row by row.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <span>

#include "jpeg_decoder.h"
#include "marker_codes.h"
#include "memory_stream.h"
#include "picture_decoder.h"
#include "tessera/jpeg.h"

namespace Tessera {

namespace {

// M of a decode at M/8: the smallest eighth not below the fraction, as
// libjpeg takes it.
unsigned ScaledSize(const Scale& scale) {
    if (scale.numerator == 0 || scale.denominator == 0 || scale.numerator > scale.denominator)
        throw JpegError(ErrorMessage(ErrorCode::ScaleNotSupported));
    unsigned m = 1;
    while (std::uint64_t{scale.numerator} * 8 > std::uint64_t{scale.denominator} * m) ++m;
    return m;
}

PictureDecoder::Settings SettingsFor(const DecodeOptions& options) {
    PictureDecoder::Settings settings{!options.strict, options.maxPixels, options.maxScans,
                                      JpegDecoder::kMaxBlockVisitsPerBlock, options.failOnWarning};
    settings.pixels = options.strict ? Pixels::Exact : options.pixels;
    settings.scaledSize = ScaledSize(options.scale);
    // The saver's transform has no scaled variants.
    if (settings.scaledSize != 8 && settings.pixels == Pixels::Exact)
        throw JpegError(ErrorMessage(ErrorCode::ScaleNotSupported));
    settings.region = options.region;
    return settings;
}

JpegInfo InfoOf(const PictureDecoder& decoder) {
    JpegInfo info;
    const FrameHeader* frame = decoder.Frame();
    if (frame == nullptr) return info;
    info.width = frame->width;
    info.height = frame->height;
    info.components = frame->componentCount;
    info.progressive = frame->Progressive();
    info.extended = frame->code == SOF1;
    info.colourSpace = decoder.Colours();
    for (unsigned i = 0; i < info.components && i < info.sampling.size(); ++i) {
        const FrameComponent& component = frame->components[i];
        info.sampling[i] = {component.id, component.horizontalSampling, component.verticalSampling};
    }
    info.restartInterval = decoder.RestartInterval();
    info.jfif = decoder.Facts().jfif;
    info.orientation = decoder.Facts().orientation;
    info.hasIccProfile = decoder.Facts().iccProfile;
    info.arithmetic = frame->Arithmetic();
    return info;
}

// The segments up to the first scan's SOS marker (true) or the end (false).
bool ReadToFirstScan(PictureDecoder& decoder, InputByteStream& stream) {
    for (;;) {
        switch (decoder.Next(stream)) {
            case PictureDecoder::Step::Frame:
                continue;
            case PictureDecoder::Step::Scan:
                return true;
            case PictureDecoder::Step::End:
                return false;
        }
    }
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
        case PixelFormat::Cmyk:
            break;
    }
    return out;
}

}  // namespace

class JpegReader::State {
  public:
    State(const std::uint8_t* data, std::size_t size, const DecodeOptions& options);
    ~State() { decoder.End(); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    std::size_t ReadRows(std::uint8_t* out, std::size_t maxRows);
    const std::vector<Warning>& Warnings() const { return decoder.Warnings(); }

    JpegInfo info;
    PixelFormat format;
    bool accurate = false;  // libjpeg's pixels rather than the saver's
    // The rows handed out: the region of the picture at its scale.
    std::size_t width = 0;
    std::size_t height = 0;

  private:
    enum class Mode {
        AtScan,     // the first scan's marker has been read
        Streaming,  // its rows are decoded as they are read
        Decoded,    // every scan has been decoded
        Failed,     // rows come as far as the picture was decoded
    };

    void Start();
    void DecodeScan();
    void DecodeRemainingScans();
    // Makes rows from `row` on available; returns the end of those that are.
    std::size_t Prepare(std::size_t row);
    void Convert(std::size_t first, std::size_t last, std::uint8_t* out);
    void Fail() { mode = Mode::Failed; }

    MemoryStream stream;
    PictureDecoder decoder;
    Mode mode = Mode::Decoded;
    // A failure that the next ReadRows throws: one after the frame header
    // in the constructor, or one met after rows were written in a call.
    std::exception_ptr deferred;
    // Picture rows and columns, at the decode's scale: the region's.
    std::size_t firstRow = 0;
    std::size_t nextRow = 0;
    std::size_t endRow = 0;
    Columns columns;
    std::size_t mcuHeight = 8;
    unsigned mcuRowsDecoded = 0;  // streaming
    std::vector<std::uint32_t> pixels;
};

JpegReader::State::State(const std::uint8_t* data, std::size_t size, const DecodeOptions& options)
    : format(options.format), stream(std::span<const std::uint8_t>(data, size)) {
    decoder.SetSettings(SettingsFor(options));
    accurate = decoder.GetSettings().pixels != Pixels::Exact;
    try {
        decoder.Begin(stream);
        if (ReadToFirstScan(decoder, stream)) {
            mode = Mode::AtScan;
        } else {
            decoder.Finish(stream);  // a picture without scans
        }
    } catch (...) {
        if (decoder.Frame() == nullptr) {
            decoder.End();
            throw;
        }
        deferred = std::current_exception();
        mode = Mode::Failed;
    }
    info = InfoOf(decoder);
    mcuHeight = decoder.OutputMcuHeight();
    width = decoder.OutputWidth();
    height = decoder.OutputHeight();
    endRow = height;
    columns = {0, width};
    const Region& region = options.region;
    if (region.width != 0 && region.height != 0) {
        if (std::uint64_t{region.x} + region.width > width ||
            std::uint64_t{region.y} + region.height > height) {
            decoder.End();
            throw JpegError(ErrorMessage(ErrorCode::RegionOutsidePicture));
        }
        firstRow = nextRow = region.y;
        endRow = std::size_t{region.y} + region.height;
        columns = {region.x, std::size_t{region.x} + region.width};
        width = region.width;
        height = region.height;
    }
}

void JpegReader::State::Start() {
    decoder.StartScan(stream, true);
    if (decoder.ScanRowsFinal() && width != 0 && height != 0) {
        mode = Mode::Streaming;
        return;
    }
    decoder.DecodeScanRows(stream, decoder.ScanMcuRows());
    decoder.EndScan(stream);
    DecodeRemainingScans();
}

void JpegReader::State::DecodeScan() {
    decoder.StartScan(stream, false);
    decoder.DecodeScanRows(stream, decoder.ScanMcuRows());
    decoder.EndScan(stream);
}

void JpegReader::State::DecodeRemainingScans() {
    for (;;) {
        switch (decoder.Next(stream)) {
            case PictureDecoder::Step::Frame:  // never: a second frame is refused
                continue;
            case PictureDecoder::Step::Scan:
                DecodeScan();
                continue;
            case PictureDecoder::Step::End:
                decoder.Finish(stream);
                mode = Mode::Decoded;
                return;
        }
    }
}

std::size_t JpegReader::State::Prepare(std::size_t row) {
    const auto mcuRow = static_cast<unsigned>(row / mcuHeight);
    const std::size_t end = std::min<std::size_t>(endRow, (mcuRow + 1) * mcuHeight);
    // A row of MCUs converts once the rows its up-sampling reads are decoded.
    const unsigned wanted = std::min(mcuRow + 1 + decoder.McuRowsAhead(), decoder.ScanMcuRows());
    if (mode == Mode::Streaming && mcuRowsDecoded < wanted) {
        decoder.DecodeScanRows(stream, wanted);
        mcuRowsDecoded = wanted;
        if (mcuRowsDecoded >= decoder.ScanMcuRows()) {
            decoder.EndScan(stream);
            DecodeRemainingScans();
        }
    }
    decoder.PrepareMcuRow(mcuRow);
    return end;
}

void JpegReader::State::Convert(std::size_t first, std::size_t last, std::uint8_t* out) {
    const std::size_t count = (last - first) * width;
    if (count == 0) return;  // a frame of width 0
    if (accurate) {
        // libjpeg's pixels come in every layout directly.
        if (!decoder.PixelRowsInto(first, last, format, out, columns))
            std::memset(out, 0, count * BytesPerPixel(format));
        return;
    }
    // What the decoder cannot give (a strict decode that failed before any
    // scan began) is zero bytes, as the decoder's image has it then.
    if (format == PixelFormat::Grey) {
        if (!decoder.GreyRowsInto(first, last, out, columns)) std::memset(out, 0, count);
        return;
    }
    if (format == PixelFormat::Cmyk) {
        if (!decoder.InkRowsInto(first, last, out, columns)) std::memset(out, 0, 4 * count);
        return;
    }
    // BGRA rows go straight to a buffer that can hold 32-bit pixels.
    if (format == PixelFormat::Bgra && reinterpret_cast<std::uintptr_t>(out) % 4 == 0) {
        auto* direct = reinterpret_cast<std::uint32_t*>(out);
        if (!decoder.ConvertRowsInto(first, last, direct, columns)) std::fill_n(direct, count, 0u);
        return;
    }
    // Other layouts are rearranged from BGRA a row at a time, which stays in
    // the cache.
    pixels.resize(width);
    for (std::size_t row = first; row < last; ++row) {
        if (!decoder.ConvertRowsInto(row, row + 1, pixels.data(), columns))
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
    const std::size_t rowBytes = width * BytesPerPixel(format);
    std::size_t written = 0;
    while (written < maxRows && nextRow < endRow) {
        std::size_t end = std::min<std::size_t>(endRow, nextRow + (maxRows - written));
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

unsigned JpegReader::Width() const {
    return static_cast<unsigned>(state->width);
}

unsigned JpegReader::Height() const {
    return static_cast<unsigned>(state->height);
}

std::size_t JpegReader::RowBytes() const {
    return state->width * BytesPerPixel(state->format);
}

std::size_t JpegReader::ReadRows(std::uint8_t* out, std::size_t maxRows) {
    return state->ReadRows(out, maxRows);
}

const std::vector<Warning>& JpegReader::Warnings() const {
    return state->Warnings();
}

JpegInfo ReadJpegInfo(const std::uint8_t* data, std::size_t size) {
    MemoryStream stream(std::span<const std::uint8_t>(data, size));
    PictureDecoder decoder;
    decoder.SetSettings(SettingsFor(DecodeOptions{}));
    struct End {
        PictureDecoder& decoder;
        ~End() { decoder.End(); }
    } end{decoder};
    decoder.Begin(stream);
    if (!ReadToFirstScan(decoder, stream) && !decoder.EndOfImageSeen())
        throw JpegBadStream("End of Image Marker Not Found");
    return InfoOf(decoder);
}

Image DecodeJpeg(const std::uint8_t* data, std::size_t size, const DecodeOptions& options) {
    JpegReader reader(data, size, options);
    Image image;
    image.width = reader.Width();
    image.height = reader.Height();
    image.format = options.format;
    image.pixels.resize(reader.RowBytes() * image.height);
    // A picture without rows is still decoded to its end, for its failures:
    // the first call decodes whatever the picture's rows need.
    std::size_t row = 0;
    while (const std::size_t rows =
               reader.ReadRows(image.pixels.data() + row * reader.RowBytes(), image.height - row))
        row += rows;
    image.warnings = reader.Warnings();
    return image;
}

}  // namespace Tessera
