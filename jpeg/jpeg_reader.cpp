// The library's interface (tessera/jpeg.h) over the decoder: headers, whole
// pictures and pictures read row by row.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <span>

#include "application_segments.h"
#include "jpeg_decoder.h"
#include "marker_codes.h"
#include "memory_stream.h"
#include "picture_decoder.h"
#include "tessera/jpeg.h"

namespace Tessera {

namespace {

PictureDecoder::Settings SettingsFor(const DecodeOptions& options) {
    return {!options.strict, options.maxPixels, options.maxScans,
            JpegDecoder::kMaxBlockVisitsPerBlock, options.failOnWarning};
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
    const std::vector<Warning>& Warnings() const;

    JpegInfo info;
    PixelFormat format;
    std::vector<std::uint8_t> iccProfile;

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
    // The profile of the ICC chunks read so far, or the warning that they make none.
    void TakeIccProfile();

    MemoryStream stream;
    PictureDecoder decoder;
    Mode mode = Mode::Decoded;
    // A failure that the next ReadRows throws: one after the frame header
    // in the constructor, or one met after rows were written in a call.
    std::exception_ptr deferred;
    std::size_t nextRow = 0;
    std::size_t mcuHeight = 8;
    unsigned mcuRowsDecoded = 0;  // streaming
    std::vector<std::uint32_t> pixels;
    // What the headers before the first scan gave reason to warn of, and
    // those warnings followed by the decoder's.
    std::vector<Warning> headerWarnings;
    mutable std::vector<Warning> allWarnings;
};

JpegReader::State::State(const std::uint8_t* data, std::size_t size, const DecodeOptions& options)
    : format(options.format), stream(std::span<const std::uint8_t>(data, size)) {
    decoder.SetSettings(SettingsFor(options));
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
    if (const FrameHeader* frame = decoder.Frame())
        mcuHeight = 8 * std::size_t{frame->maxVerticalSampling};
    TakeIccProfile();
}

void JpegReader::State::TakeIccProfile() {
    IccProfileAssembly assembly = AssembleIccProfile(decoder.Facts().iccChunks);
    if (!assembly.damage.empty())
        headerWarnings.push_back({ErrorCode::IccProfileDamaged,
                                  "ICC profile " + assembly.damage + ": the picture has none"});
    iccProfile = std::move(assembly.profile);
}

const std::vector<Warning>& JpegReader::State::Warnings() const {
    const std::vector<Warning>& decoded = decoder.Warnings();
    if (headerWarnings.empty()) return decoded;
    // The decoder's list only grows within a picture.
    if (allWarnings.size() != headerWarnings.size() + decoded.size()) {
        allWarnings = headerWarnings;
        allWarnings.insert(allWarnings.end(), decoded.begin(), decoded.end());
    }
    return allWarnings;
}

void JpegReader::State::Start() {
    decoder.StartScan(stream, true);
    if (decoder.ScanRowsFinal() && info.width != 0 && info.height != 0) {
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
    const std::size_t end = std::min<std::size_t>(info.height, (mcuRow + 1) * mcuHeight);
    if (mode == Mode::Streaming && mcuRowsDecoded <= mcuRow) {
        decoder.DecodeScanRows(stream, mcuRow + 1);
        mcuRowsDecoded = mcuRow + 1;
        if (mcuRowsDecoded >= decoder.ScanMcuRows()) {
            decoder.EndScan(stream);
            DecodeRemainingScans();
        }
    }
    decoder.PrepareMcuRow(mcuRow);
    return end;
}

void JpegReader::State::Convert(std::size_t first, std::size_t last, std::uint8_t* out) {
    const std::size_t count = (last - first) * info.width;
    if (count == 0) return;  // a frame of width 0
    // What the decoder cannot give (a strict decode that failed before any
    // scan began) is zero bytes, as the decoder's image has it then.
    if (format == PixelFormat::Grey) {
        if (!decoder.GreyRowsInto(first, last, out)) std::memset(out, 0, count);
        return;
    }
    if (format == PixelFormat::Cmyk) {
        if (!decoder.InkRowsInto(first, last, out)) std::memset(out, 0, 4 * count);
        return;
    }
    // BGRA rows go straight to a buffer that can hold 32-bit pixels.
    if (format == PixelFormat::Bgra && reinterpret_cast<std::uintptr_t>(out) % 4 == 0) {
        auto* direct = reinterpret_cast<std::uint32_t*>(out);
        if (!decoder.ConvertRowsInto(first, last, direct)) std::fill_n(direct, count, 0u);
        return;
    }
    // Other layouts are rearranged from BGRA a row at a time, which stays in
    // the cache.
    const std::size_t width = info.width;
    pixels.resize(width);
    for (std::size_t row = first; row < last; ++row) {
        if (!decoder.ConvertRowsInto(row, row + 1, pixels.data()))
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

const std::vector<Warning>& JpegReader::Warnings() const {
    return state->Warnings();
}

const std::vector<std::uint8_t>& JpegReader::IccProfile() const {
    return state->iccProfile;
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
    image.warnings = reader.Warnings();
    image.iccProfile = reader.IccProfile();
    return image;
}

}  // namespace Tessera
