// The library's interface (tessera/jpeg.h) over the decoder: headers, whole
// pictures and pictures read row by row, in the caller's layout, pitch and
// orientation, within the caller's memory limit.
//
// Two layers: PictureRows gives the decoded picture's rows as the stream
// stores them; Reader turns them upright where asked. JpegReader, DecodeJpeg
// and DecodeJpegInto all read through a Reader.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <span>
#include <thread>

#include "application_segments.h"
#include "jpeg_decoder.h"
#include "marker_codes.h"
#include "memory_estimate.h"
#include "memory_stream.h"
#include "picture_decoder.h"
#include "row_shares.h"
#include "step_pipeline.h"
#include "tessera/jpeg.h"
#include "worker_threads.h"

namespace Tessera {

namespace {

[[noreturn]] void Refuse(ErrorCode code) {
    throw JpegError(ErrorMessage(code));
}

// A field added later starts at or after the size before it, so no field may
// sit in what was padding at the end of an older struct.
static_assert(sizeof(DecodeOptions) ==
                  offsetof(DecodeOptions, reserved) + sizeof(DecodeOptions::reserved),
              "DecodeOptions must end without padding");

// The options as the caller's header knew them: each field that lies within
// the caller's structSize, the rest their defaults.
DecodeOptions Effective(const DecodeOptions& given) {
    if (given.structSize < sizeof(given.structSize)) Refuse(ErrorCode::OptionsSizeNotSupported);
    DecodeOptions options;
#define TESSERA_TAKE(field)                                                         \
    if (offsetof(DecodeOptions, field) + sizeof(options.field) <= given.structSize) \
        options.field = given.field;
    TESSERA_TAKE(strict)
    TESSERA_TAKE(format)
    TESSERA_TAKE(maxPixels)
    TESSERA_TAKE(maxScans)
    TESSERA_TAKE(failOnWarning)
    TESSERA_TAKE(pixels)
    TESSERA_TAKE(applyOrientation)
    TESSERA_TAKE(scale)
    TESSERA_TAKE(region)
    TESSERA_TAKE(maxMemory)
    TESSERA_TAKE(threads)
#undef TESSERA_TAKE
    return options;
}

// M of a decode at M/8: the smallest eighth not below the fraction, as
// libjpeg takes it.
unsigned ScaledSize(const Scale& scale) {
    if (scale.numerator == 0 || scale.denominator == 0 || scale.numerator > scale.denominator)
        Refuse(ErrorCode::ScaleNotSupported);
    unsigned m = 1;
    while (std::uint64_t{scale.numerator} * 8 > std::uint64_t{scale.denominator} * m) ++m;
    return m;
}

// Rows of MCUs in flight between the two threads of a decode: enough that
// neither waits for the other on an uneven row, few enough to stay in the
// cache (a row of MCUs of a 4:2:0 picture 6000 pixels wide is 280 KB of
// coefficients).
constexpr unsigned kPipelineMcuRows = 4;

// The threads a decode uses. Strict decodes are the saver's, on one thread;
// a memory limit counts one thread's buffers. Two threads take the whole
// pipeline (the entropy-coded data is decoded in order on one of them), so
// more are not used.
unsigned ThreadsFor(const DecodeOptions& options) {
    if (options.strict || options.maxMemory != 0) return 1;
    const unsigned wanted =
        options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    return std::min(wanted, 2u);
}

PictureDecoder::Settings SettingsFor(const DecodeOptions& options) {
    PictureDecoder::Settings settings{!options.strict, options.maxPixels, options.maxScans,
                                      JpegDecoder::kMaxBlockVisitsPerBlock, options.failOnWarning};
    settings.pixels = options.strict ? Pixels::Exact : options.pixels;
    settings.scaledSize = ScaledSize(options.scale);
    // The saver's transform has no scaled variants.
    if (settings.scaledSize != 8 && settings.pixels == Pixels::Exact)
        Refuse(ErrorCode::ScaleNotSupported);
    settings.region = options.region;
    if (ThreadsFor(options) > 1) settings.pipelineMcuRows = kPipelineMcuRows;
    return settings;
}

bool HasRegion(const DecodeOptions& options) {
    return options.region.width != 0 && options.region.height != 0;
}

struct Size {
    unsigned width = 0;
    unsigned height = 0;
};

// The Exif orientation a decode applies: the file's with applyOrientation,
// else 1 (as stored).
unsigned AppliedOrientation(const JpegInfo& info, const DecodeOptions& options) {
    return options.applyOrientation && info.orientation >= 2 ? info.orientation : 1;
}

// Orientations 5 to 8 turn the picture on its side.
bool SwapsSides(unsigned orientation) {
    return orientation >= 5;
}

// The size of the decoded picture's rows before any orientation: the
// frame's at the decode's scale, or the region's.
Size DecodedSize(const PictureDecoder& decoder, const DecodeOptions& options) {
    if (HasRegion(options)) return {options.region.width, options.region.height};
    return {static_cast<unsigned>(decoder.OutputWidth()),
            static_cast<unsigned>(decoder.OutputHeight())};
}

// The size of the rows a decode gives: the one place it is worked out.
Size OutputSize(const JpegInfo& info, const PictureDecoder& decoder, const DecodeOptions& options) {
    const Size decoded = DecodedSize(decoder, options);
    if (SwapsSides(AppliedOrientation(info, options))) return {decoded.height, decoded.width};
    return decoded;
}

JpegInfo InfoOf(const PictureDecoder& decoder, const DecodeOptions& options) {
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
    const Size output = OutputSize(info, decoder, options);
    info.outputWidth = output.width;
    info.outputHeight = output.height;
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

// Where the data of the scan whose marker the stream stands after begins;
// the header's length as it stands (PlanAtFirstScan checked it).
const std::uint8_t* FirstScanData(const InputByteStream& stream) {
    const std::uint8_t* at = stream.ReadPointer();
    return at + (std::size_t{at[0]} << 8 | at[1]);
}

// How the scans of a sequential frame will be decoded, seen from the first
// scan's SOS marker without reading on: a single scan (EOI after its data,
// only restart markers within) that names as many components as the frame
// streams. The decoder decides for itself once the scan has begun
// (ScanRowsFinal); this is for refusing a decode before anything is allocated.
ScanPlan PlanAtFirstScan(const FrameHeader& frame, const InputByteStream& stream) {
    if (frame.Progressive()) return ScanPlan::Coefficients;
    const std::uint8_t* at = stream.ReadPointer();
    const std::uint8_t* end = stream.BufferEnd();
    if (end - at < 3) return ScanPlan::WholePlanes;
    const std::size_t length = std::size_t{at[0]} << 8 | at[1];
    if (at[2] != frame.componentCount || length > static_cast<std::size_t>(end - at))
        return ScanPlan::WholePlanes;
    return EndOfImageFollows(at + length, end) ? ScanPlan::Streaming : ScanPlan::WholePlanes;
}

// The decoded picture's rows in the stream's order, in the caller's layout.
class PictureRows {
  public:
    PictureRows(const std::uint8_t* data, std::size_t size, const DecodeOptions& options);
    ~PictureRows() { decoder.End(); }
    PictureRows(const PictureRows&) = delete;
    PictureRows& operator=(const PictureRows&) = delete;

    // Refuses the decode (MemoryLimitExceeded) when its buffers and the
    // output buffers `heldOutput` need more than maxMemory.
    void CheckMemory(std::uint64_t heldOutput);
    std::size_t ReadRows(std::uint8_t* out, std::size_t maxRows, std::size_t pitch);
    const std::vector<Warning>& Warnings() const;
    Size Decoded() const { return decoded; }
    std::size_t RowBytes() const { return std::size_t{decoded.width} * BytesPerPixel(format); }

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
    // Whether the rows of the next call come from the two threads: the
    // rows of a scan that decodes them as they are read (a sequential
    // picture's only scan, or a progressive picture's last).
    bool Pipelined() const;
    std::size_t ReadRowsPipelined(std::uint8_t* out, std::size_t maxRows, std::size_t pitch);
    // The rows, and every later call's, from a decode of the picture again
    // on one thread: a failure on two threads leaves the picture as one
    // thread would have left it only after its own failure, so failures,
    // warnings and bytes are one thread's.
    std::size_t ReadRowsOnOneThread(std::uint8_t* out, std::size_t maxRows, std::size_t pitch);
    // Decodes the scan at hand; false where, as a progressive picture's last
    // scan on two threads, it is left to stream (its rows convert as it
    // decodes them, behind it on the worker). Only a call that takes every
    // row left streams it: one thread would fail in such a scan before any
    // row, so no earlier call may have handed rows out.
    bool DecodeScan();
    void DecodeRemainingScans();
    // Streaming: decodes rows of MCUs up to (not including) `wanted`.
    void DecodeMcuRows(unsigned wanted);
    std::size_t ReadRowsOneByOne(std::uint8_t* out, std::size_t maxRows, std::size_t pitch);
    // A call for every row left of a scan with restart intervals: this
    // decoder takes rows of MCUs from the top, one at a time, and another,
    // on the worker thread, takes parts from the bottom up, each from the
    // restart interval where it begins, until the two meet. Zero when the
    // picture cannot be split so; throws where the parts cannot stand for
    // one decode (a repair or failure in any: the caller decodes again).
    std::size_t ReadRowsInParts(std::uint8_t* out, std::size_t pitch);
    // The worker's side, on a decoder of its own (see ReadRowsInParts).
    void DecodeLowerParts(RowShares& shares, std::uint8_t* out, std::size_t first,
                          std::size_t pitch);
    // Decodes the scan up to and including the first unit of restart
    // interval `interval`, so that this decoder has read the marker before
    // it and seen whether it is there and rightly numbered.
    void DecodePastMarker(std::uint64_t interval);
    // Another decoder of the same picture with the same options, on one thread.
    std::unique_ptr<PictureRows> OneThreadDecoder() const;
    // Makes rows from `row` on available; returns the end of those that are.
    std::size_t Prepare(std::size_t row);
    void Convert(std::size_t first, std::size_t last, std::uint8_t* out, std::size_t pitch);
    void ConvertPacked(std::size_t first, std::size_t last, std::uint8_t* out);
    // The region: its rows and columns of the picture at the decode's scale.
    void TakeRegion(const DecodeOptions& options);
    void Fail() { mode = Mode::Failed; }
    // The profile of the ICC chunks read so far, or the warning that they make none.
    void TakeIccProfile();
    void RefuseAbove(ScanPlan plan) const;

    MemoryStream stream;
    PictureDecoder decoder;
    Size decoded;
    std::uint64_t maxMemory = 0;
    std::uint64_t heldOutput = 0;
    ScanPlan plan = ScanPlan::WholePlanes;  // as seen at the first scan's marker
    Mode mode = Mode::Decoded;
    // A failure that the next ReadRows throws: one after the frame header
    // in the constructor, or one met after rows were written in a call.
    std::exception_ptr deferred;
    bool accurate = false;  // libjpeg's pixels rather than the saver's
    // Picture rows [nextRow, endRow) are still to come, columns `columns`.
    std::size_t nextRow = 0;
    std::size_t endRow = 0;
    Columns columns;
    std::size_t mcuHeight = 8;
    unsigned mcuRowsDecoded = 0;  // streaming
    // What the headers before the first scan gave reason to warn of, and
    // those warnings followed by the decoder's.
    std::vector<Warning> headerWarnings;
    mutable std::vector<Warning> allWarnings;
    // Decodes on two threads; what a decode again on one thread needs.
    std::unique_ptr<StepPipeline> pipeline;
    bool streamsLastScan = false;  // see DecodeScan
    std::span<const std::uint8_t> data;
    DecodeOptions options;
    std::unique_ptr<PictureRows> oneThread;
};

PictureRows::PictureRows(const std::uint8_t* bytes, std::size_t size, const DecodeOptions& given)
    : format(given.format),
      stream(std::span<const std::uint8_t>(bytes, size)),
      maxMemory(given.maxMemory),
      data(bytes, size),
      options(given) {
    decoder.SetSettings(SettingsFor(options));
    accurate = decoder.GetSettings().pixels != Pixels::Exact;
    if (decoder.GetSettings().pipelineMcuRows != 0) pipeline = std::make_unique<StepPipeline>();
    try {
        decoder.Begin(stream);
        if (ReadToFirstScan(decoder, stream)) {
            mode = Mode::AtScan;
            // (A scan before any frame fails as it begins.)
            if (const FrameHeader* frame = decoder.Frame()) {
                plan = PlanAtFirstScan(*frame, stream);
                if (plan == ScanPlan::Streaming) decoder.NoteEndOfImageAfter(FirstScanData(stream));
            }
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
    info = InfoOf(decoder, options);
    decoded = DecodedSize(decoder, options);
    mcuHeight = decoder.OutputMcuHeight();
    TakeRegion(options);
    TakeIccProfile();
}

void PictureRows::TakeRegion(const DecodeOptions& options) {
    const std::size_t width = decoder.OutputWidth(), height = decoder.OutputHeight();
    endRow = height;
    columns = {0, width};
    if (!HasRegion(options)) return;
    const Region& region = options.region;
    if (std::uint64_t{region.x} + region.width > width ||
        std::uint64_t{region.y} + region.height > height) {
        decoder.End();
        Refuse(ErrorCode::RegionOutsidePicture);
    }
    nextRow = region.y;
    endRow = std::size_t{region.y} + region.height;
    columns = {region.x, std::size_t{region.x} + region.width};
}

void PictureRows::TakeIccProfile() {
    IccProfileAssembly assembly = AssembleIccProfile(decoder.Facts().iccChunks);
    if (!assembly.damage.empty())
        headerWarnings.push_back({ErrorCode::IccProfileDamaged,
                                  "ICC profile " + assembly.damage + ": the picture has none"});
    iccProfile = std::move(assembly.profile);
}

const std::vector<Warning>& PictureRows::Warnings() const {
    if (oneThread) return oneThread->Warnings();
    const std::vector<Warning>& decodedWarnings = decoder.Warnings();
    if (headerWarnings.empty()) return decodedWarnings;
    // The decoder's list only grows within a picture.
    if (allWarnings.size() != headerWarnings.size() + decodedWarnings.size()) {
        allWarnings = headerWarnings;
        allWarnings.insert(allWarnings.end(), decodedWarnings.begin(), decodedWarnings.end());
    }
    return allWarnings;
}

void PictureRows::RefuseAbove(ScanPlan scans) const {
    const FrameHeader* frame = decoder.Frame();
    if (maxMemory == 0 || frame == nullptr) return;
    SampleGeometry samples;
    for (unsigned i = 0; i < frame->componentCount; ++i)
        samples.blockSize[i] = decoder.ComponentAt(i).BlockSize();
    samples.bandMcuRows = decoder.McuRowsAhead() != 0 ? 3 : 1;
    if (DecodeMemory(*frame, scans, heldOutput, samples) > maxMemory)
        throw JpegBadStream(ErrorMessage(ErrorCode::MemoryLimitExceeded));
}

void PictureRows::CheckMemory(std::uint64_t held) {
    heldOutput = held;
    RefuseAbove(plan);
}

void PictureRows::Start() {
    decoder.StartScan(stream, true);
    if (decoder.ScanRowsFinal() && decoded.width != 0 && decoded.height != 0) {
        mode = Mode::Streaming;
        return;
    }
    // A first scan that looked like the only one but is not: its buffers
    // are reserved, not yet used.
    if (plan == ScanPlan::Streaming) RefuseAbove(ScanPlan::WholePlanes);
    decoder.DecodeScanRows(stream, decoder.ScanMcuRows());
    decoder.EndScan(stream);
    DecodeRemainingScans();
}

bool PictureRows::DecodeScan() {
    decoder.StartScan(stream, streamsLastScan);
    if (decoder.LastScanRowsFinal() && decoded.width != 0 && decoded.height != 0) {
        mode = Mode::Streaming;
        mcuRowsDecoded = 0;
        return false;
    }
    decoder.DecodeScanRows(stream, decoder.ScanMcuRows());
    decoder.EndScan(stream);
    return true;
}

void PictureRows::DecodeRemainingScans() {
    for (;;) {
        switch (decoder.Next(stream)) {
            case PictureDecoder::Step::Frame:  // never: a second frame is refused
                continue;
            case PictureDecoder::Step::Scan:
                if (DecodeScan()) continue;
                return;
            case PictureDecoder::Step::End:
                decoder.Finish(stream);
                mode = Mode::Decoded;
                return;
        }
    }
}

std::size_t PictureRows::Prepare(std::size_t row) {
    const auto mcuRow = static_cast<unsigned>(row / mcuHeight);
    const std::size_t end = std::min<std::size_t>(endRow, (mcuRow + 1) * mcuHeight);
    // A row of MCUs converts once the rows its up-sampling reads are decoded.
    const unsigned wanted = mode == Mode::Streaming ? std::min(mcuRow + 1 + decoder.McuRowsAhead(),
                                                               decoder.ScanMcuRows())
                                                    : 0;
    if (mode == Mode::Streaming && mcuRowsDecoded < wanted) DecodeMcuRows(wanted);
    decoder.PrepareMcuRow(mcuRow);
    return end;
}

void PictureRows::DecodeMcuRows(unsigned wanted) {
    if (!pipeline) {
        decoder.DecodeScanRows(stream, wanted);
        mcuRowsDecoded = wanted;
    }
    // Blocks wait in the ring of the two threads' decodes: each row is
    // transformed as it is decoded, and so is a row that fails part-way,
    // as one thread's decode transforms each block as it comes.
    for (; mcuRowsDecoded < wanted; ++mcuRowsDecoded) {
        try {
            decoder.DecodeScanRows(stream, mcuRowsDecoded + 1);
        } catch (...) {
            decoder.TransformDecodedMcuRow(mcuRowsDecoded);
            throw;
        }
        decoder.TransformDecodedMcuRow(mcuRowsDecoded);
    }
    if (mcuRowsDecoded < decoder.ScanMcuRows()) return;
    decoder.EndScan(stream);
    DecodeRemainingScans();
}

void PictureRows::Convert(std::size_t first, std::size_t last, std::uint8_t* out,
                          std::size_t pitch) {
    if (pitch == RowBytes()) {
        ConvertPacked(first, last, out);
        return;
    }
    for (std::size_t row = first; row < last; ++row, out += pitch) ConvertPacked(row, row + 1, out);
}

void PictureRows::ConvertPacked(std::size_t first, std::size_t last, std::uint8_t* out) {
    const std::size_t count = (last - first) * decoded.width;
    if (count == 0) return;  // a frame of width 0
    // What the decoder cannot give (a strict decode that failed before any
    // scan began) is zero bytes, as the decoder's image has it then.
    if (!accurate && format == PixelFormat::Grey) {
        if (!decoder.GreyRowsInto(first, last, out, columns)) std::memset(out, 0, count);
        return;
    }
    if (!accurate && format == PixelFormat::Cmyk) {
        if (!decoder.InkRowsInto(first, last, out, columns)) std::memset(out, 0, 4 * count);
        return;
    }
    // libjpeg's pixels in any layout, the saver's in the colour layouts:
    // written by the conversions straight into the caller's rows.
    if (!decoder.PixelRowsInto(first, last, format, out, columns))
        std::memset(out, 0, count * BytesPerPixel(format));
}

std::size_t PictureRows::ReadRows(std::uint8_t* out, std::size_t maxRows, std::size_t pitch) {
    if (oneThread) return oneThread->ReadRows(out, maxRows, pitch);
    if (deferred) {
        std::exception_ptr failure = nullptr;
        std::swap(failure, deferred);
        std::rethrow_exception(failure);
    }
    try {
        if (mode == Mode::AtScan) {
            streamsLastScan = pipeline && maxRows >= endRow - nextRow;
            Start();
        }
    } catch (...) {
        Fail();
        throw;
    }
    if (Pipelined()) {
        try {
            const bool rest = maxRows >= endRow - nextRow;
            if (const std::size_t rows = rest ? ReadRowsInParts(out, pitch) : 0) return rows;
            return ReadRowsPipelined(out, maxRows, pitch);
        } catch (...) {
            return ReadRowsOnOneThread(out, maxRows, pitch);
        }
    }
    return ReadRowsOneByOne(out, maxRows, pitch);
}

std::size_t PictureRows::ReadRowsOneByOne(std::uint8_t* out, std::size_t maxRows,
                                          std::size_t pitch) {
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
        Convert(nextRow, end, out + written * pitch, pitch);
        written += end - nextRow;
        nextRow = end;
    }
    return written;
}

bool PictureRows::Pipelined() const {
    return pipeline && mode == Mode::Streaming;
}

// The calling thread decodes a streaming scan's rows of MCUs (the
// entropy-coded data) while the worker transforms and converts them, in the
// order and with the look-ahead of Prepare, so that every sample and pixel
// is what one thread makes. A progressive picture's rows are converted one
// row of MCUs at a time: preparing one moves its band on.
std::size_t PictureRows::ReadRowsPipelined(std::uint8_t* out, std::size_t maxRows,
                                           std::size_t pitch) {
    const std::size_t first = nextRow;
    const std::size_t stop = std::min(endRow, nextRow + maxRows);
    if (first >= stop) return 0;
    std::size_t converted = first;
    const auto convertUpTo = [&](std::size_t limit) {
        limit = std::min(limit, stop);
        while (converted < limit) {
            const auto mcuRow = static_cast<unsigned>(converted / mcuHeight);
            const std::size_t end =
                info.progressive ? std::min(limit, (mcuRow + 1) * mcuHeight) : limit;
            decoder.PrepareMcuRow(mcuRow);
            Convert(converted, end, out + (converted - first) * pitch, pitch);
            converted = end;
        }
    };
    const auto lastMcuRow = static_cast<unsigned>((stop - 1) / mcuHeight);
    const unsigned total = decoder.ScanMcuRows(), ahead = decoder.McuRowsAhead();
    // Picture rows that convert once rows of MCUs 0 .. decodedRows − 1 are.
    const auto convertible = [&](unsigned decodedRows) -> std::size_t {
        if (decodedRows >= total) return stop;
        return decodedRows > ahead ? (decodedRows - ahead) * mcuHeight : 0;
    };
    convertUpTo(convertible(mcuRowsDecoded));
    const unsigned wanted = std::min(lastMcuRow + 1 + ahead, total);
    pipeline->Run(
        mcuRowsDecoded, wanted, kPipelineMcuRows,
        [&](unsigned mcuRow) {
            decoder.DecodeScanRows(stream, mcuRow + 1);
            mcuRowsDecoded = mcuRow + 1;
            if (mcuRowsDecoded < total) return;
            decoder.EndScan(stream);
            DecodeRemainingScans();
        },
        [&](unsigned mcuRow) {
            decoder.TransformDecodedMcuRow(mcuRow);
            convertUpTo(convertible(mcuRow + 1));
        });
    convertUpTo(stop);
    nextRow = stop;
    return stop - first;
}

// Restart markers let a decoder start at any interval (T.81 B.2.1). The
// calling thread decodes from the top, the worker from the bottom up in
// parts (RowShares), each part's decode starting at the interval that holds
// the row its up-sampling reads above it, and going on below it as far as
// its own last row's up-sampling reads and past the restart marker that
// the part below starts after. Where no decoder repaired anything, every
// interval ended at its marker, so together they decoded what one decoder
// would have.
std::size_t PictureRows::ReadRowsInParts(std::uint8_t* out, std::size_t pitch) {
    if (mode != Mode::Streaming || mcuRowsDecoded != 0 || decoder.RestartInterval() == 0 ||
        decoder.Frame()->Arithmetic() || info.progressive || !decoder.ScanRowsFinal())
        return 0;
    const std::size_t first = nextRow, stop = endRow;
    const auto firstMcuRow = static_cast<unsigned>(first / mcuHeight);
    const auto endMcuRow = static_cast<unsigned>((stop + mcuHeight - 1) / mcuHeight);
    const RowShares::Geometry geometry{decoder.ScanUnitsPerMcuRow(), decoder.RestartInterval(),
                                       decoder.McuRowsAhead()};
    // Rows to the scan's end (the worker's first part ends it), enough for
    // a part of one row beside the calling thread's.
    if (endMcuRow != decoder.ScanMcuRows() || endMcuRow - firstMcuRow < 2 * geometry.SeamRows() + 2)
        return 0;
    decoder.TransformAsDecoded();

    RowShares shares(firstMcuRow, endMcuRow, geometry, RowShares::Now());
    // The worker's decoder is made, and finds the restart markers, on the
    // worker, while this thread decodes already.
    std::unique_ptr<PictureRows> lower;
    std::exception_ptr lowerFailure;
    WorkerTask worker([&] {
        try {
            lower = OneThreadDecoder();
            lower->DecodeLowerParts(shares, out, first, pitch);
        } catch (...) {
            lowerFailure = std::current_exception();
            shares.Fail();
        }
    });
    std::exception_ptr upperFailure;
    try {
        // A row of MCUs at a time: a failure throws before any of its rows
        // is written.
        unsigned mcuRow = 0;
        while (shares.TakeUpper(mcuRow))
            ReadRowsOneByOne(out + (nextRow - first) * pitch,
                             std::min((mcuRow + 1) * mcuHeight, stop) - nextRow, pitch);
        const unsigned met = shares.Met();
        if (met < endMcuRow) DecodePastMarker(geometry.IntervalOf(met));
    } catch (...) {
        upperFailure = std::current_exception();
        shares.Fail();
    }
    worker.Wait();
    // Given up, the call is made again from its first row.
    nextRow = first;
    if (upperFailure) std::rethrow_exception(upperFailure);
    if (lowerFailure) std::rethrow_exception(lowerFailure);
    if (!decoder.Warnings().empty() || decoder.ScanRepaired())
        throw JpegError("the upper part repaired the picture");
    nextRow = stop;
    mode = Mode::Decoded;
    return stop - first;
}

// Parts from the bottom up, each made by moving this decoder to the restart
// interval it starts from; the first of them ends the scan (and the
// picture) as one decoder would. Throws where the parts cannot be decoded
// so (restart markers missing or misnumbered: the caller decodes again).
void PictureRows::DecodeLowerParts(RowShares& shares, std::uint8_t* out, std::size_t first,
                                   std::size_t pitch) {
    if (mode != Mode::AtScan) throw JpegError("the lower parts' decoder has no scan to start");
    decoder.StartScan(stream, true);
    const std::vector<const std::uint8_t*> markers = decoder.FindRestartMarkers(stream);
    if (!decoder.ScanRowsFinal() || markers.empty())
        throw JpegError("the lower parts have no restart markers to start at");
    const RowShares::Geometry& geometry = shares.Shape();
    const std::size_t stop = endRow;
    std::uint64_t below = 0;  // the interval the part below started at; 0: none
    unsigned begin = 0, end = 0;
    while (shares.TakeLower(RowShares::Now(), begin, end)) {
        const std::uint64_t interval = geometry.IntervalOf(begin);
        decoder.MoveToRestartInterval(stream, interval, markers[interval - 1]);
        mode = Mode::Streaming;
        mcuRowsDecoded =
            static_cast<unsigned>(interval * geometry.restartInterval / geometry.unitsPerMcuRow);
        nextRow = begin * mcuHeight;
        // A row of MCUs at a time, as on the calling thread.
        for (unsigned mcuRow = begin; mcuRow < end; ++mcuRow)
            ReadRowsOneByOne(out + (nextRow - first) * pitch,
                             std::min((mcuRow + 1) * mcuHeight, stop) - nextRow, pitch);
        if (below != 0) DecodePastMarker(below);
        if (!decoder.Warnings().empty() || decoder.ScanRepaired() ||
            (below == 0 && mode != Mode::Decoded))
            throw JpegError("a lower part repaired the picture");
        below = interval;
    }
}

void PictureRows::DecodePastMarker(std::uint64_t interval) {
    const std::uint64_t perRow = decoder.ScanUnitsPerMcuRow();
    const auto mcuRow = static_cast<unsigned>(interval * decoder.RestartInterval() / perRow);
    if (mcuRowsDecoded > mcuRow || mcuRowsDecoded >= decoder.ScanMcuRows()) return;
    decoder.DecodeScanRows(stream, mcuRow + 1);
    mcuRowsDecoded = mcuRow + 1;
}

std::unique_ptr<PictureRows> PictureRows::OneThreadDecoder() const {
    DecodeOptions single = options;
    single.threads = 1;
    return std::make_unique<PictureRows>(data.data(), data.size(), single);
}

std::size_t PictureRows::ReadRowsOnOneThread(std::uint8_t* out, std::size_t maxRows,
                                             std::size_t pitch) {
    const std::size_t handedOut = nextRow;
    pipeline.reset();
    decoder.End();
    oneThread = OneThreadDecoder();
    std::vector<std::uint8_t> skipped(RowBytes() * mcuHeight);
    while (oneThread->nextRow < handedOut) {
        const std::size_t rows = std::min(mcuHeight, handedOut - oneThread->nextRow);
        if (oneThread->ReadRows(skipped.data(), rows, RowBytes()) == 0) break;
    }
    return oneThread->ReadRows(out, maxRows, pitch);
}

// Pixels of `bytes` each, copied from `from` on in steps of `step` bytes.
void CopyPixels(std::uint8_t* out, const std::uint8_t* from, std::ptrdiff_t step, std::size_t count,
                std::size_t bytes) {
    switch (bytes) {
        case 1:
            for (std::size_t i = 0; i < count; ++i, from += step) out[i] = *from;
            return;
        case 3:
            for (std::size_t i = 0; i < count; ++i, from += step, out += 3)
                std::memcpy(out, from, 3);
            return;
        default:
            for (std::size_t i = 0; i < count; ++i, from += step, out += 4)
                std::memcpy(out, from, 4);
            return;
    }
}

// The rows turned upright as the options ask.
class Reader {
  public:
    // holdsOutput: the caller keeps every row (DecodeJpeg), which the memory
    // limit counts. The options are the Effective ones.
    Reader(const std::uint8_t* data, std::size_t size, const DecodeOptions& options,
           bool holdsOutput);

    std::size_t ReadRows(std::uint8_t* out, std::size_t maxRows, std::size_t pitch);
    std::size_t RowBytes() const { return std::size_t{output.width} * BytesPerPixel(Format()); }
    PixelFormat Format() const { return rows.format; }
    Size Output() const { return output; }
    const JpegInfo& Info() const { return rows.info; }
    const std::vector<Warning>& Warnings() const { return rows.Warnings(); }
    const std::vector<std::uint8_t>& IccProfile() const { return rows.iccProfile; }

  private:
    // Orientations other than 1 and 2 need every row before the first.
    bool Buffers() const { return orientation >= 3; }
    void DecodeWhole();
    void OrientedRow(std::size_t row, std::uint8_t* out) const;

    PictureRows rows;
    unsigned orientation = 1;
    Size output;
    std::vector<std::uint8_t> whole;  // the picture as stored, where it is buffered
    bool decodedWhole = false;
    std::size_t nextRow = 0;
};

Reader::Reader(const std::uint8_t* data, std::size_t size, const DecodeOptions& options,
               bool holdsOutput)
    : rows(data, size, options) {
    orientation = AppliedOrientation(rows.info, options);
    output = {rows.info.outputWidth, rows.info.outputHeight};
    const std::uint64_t pictureBytes =
        std::uint64_t{output.width} * output.height * BytesPerPixel(rows.format);
    rows.CheckMemory((holdsOutput ? pictureBytes : 0) + (Buffers() ? pictureBytes : 0));
}

void Reader::DecodeWhole() {
    decodedWhole = true;
    const std::size_t rowBytes = rows.RowBytes();
    whole.resize(rowBytes * rows.Decoded().height);
    // Read on after a failure: the picture as far as it was decoded, which
    // the next calls hand out.
    std::exception_ptr failure;
    std::size_t row = 0;
    for (;;) {
        std::size_t count = 0;
        try {
            count =
                rows.ReadRows(whole.data() + row * rowBytes, rows.Decoded().height - row, rowBytes);
        } catch (...) {
            if (failure) throw;  // never: the rows do not fail twice
            failure = std::current_exception();
            continue;
        }
        if (count == 0) break;
        row += count;
    }
    if (failure) std::rethrow_exception(failure);
}

// Output pixel (x, y) is the stored picture's
//   2: (W−1−x, y)      3: (W−1−x, H−1−y)   4: (x, H−1−y)
//   5: (y, x)          6: (y, H−1−x)       7: (W−1−y, H−1−x)   8: (W−1−y, x)
// for a stored picture of W × H.
void Reader::OrientedRow(std::size_t y, std::uint8_t* out) const {
    const std::size_t bytes = BytesPerPixel(Format());
    const auto pixel = static_cast<std::ptrdiff_t>(bytes);
    const auto stride = static_cast<std::ptrdiff_t>(rows.RowBytes());
    const auto width = static_cast<std::ptrdiff_t>(rows.Decoded().width);
    const auto height = static_cast<std::ptrdiff_t>(rows.Decoded().height);
    const auto row = static_cast<std::ptrdiff_t>(y);
    std::ptrdiff_t x0 = 0, y0 = 0, step = 0;  // the first pixel, and the step to the next
    switch (orientation) {
        case 3:
            x0 = width - 1, y0 = height - 1 - row, step = -pixel;
            break;
        case 4:
            x0 = 0, y0 = height - 1 - row, step = pixel;
            break;
        case 5:
            x0 = row, y0 = 0, step = stride;
            break;
        case 6:
            x0 = row, y0 = height - 1, step = -stride;
            break;
        case 7:
            x0 = width - 1 - row, y0 = height - 1, step = -stride;
            break;
        default:  // 8
            x0 = width - 1 - row, y0 = 0, step = stride;
            break;
    }
    CopyPixels(out, whole.data() + y0 * stride + x0 * pixel, step, output.width, bytes);
}

std::size_t Reader::ReadRows(std::uint8_t* out, std::size_t maxRows, std::size_t pitch) {
    if (pitch < RowBytes()) Refuse(ErrorCode::PitchTooSmall);
    if (!Buffers()) {
        const std::size_t count = rows.ReadRows(out, maxRows, pitch);
        if (orientation == 2) {
            const std::size_t bytes = BytesPerPixel(Format());
            for (std::size_t i = 0; i < count; ++i) {
                std::uint8_t* left = out + i * pitch;
                std::uint8_t* right = left + RowBytes() - bytes;
                for (; left < right; left += bytes, right -= bytes)
                    std::swap_ranges(left, left + bytes, right);
            }
        }
        return count;
    }
    if (!decodedWhole) DecodeWhole();
    std::size_t written = 0;
    for (; written < maxRows && nextRow < output.height; ++written, ++nextRow)
        OrientedRow(nextRow, out + written * pitch);
    return written;
}

}  // namespace

class JpegReader::State : public Reader {
  public:
    using Reader::Reader;
};

JpegReader::JpegReader(const std::uint8_t* data, std::size_t size, const DecodeOptions& options)
    : state(std::make_unique<State>(data, size, Effective(options), false)) {}

JpegReader::~JpegReader() = default;
JpegReader::JpegReader(JpegReader&&) noexcept = default;
JpegReader& JpegReader::operator=(JpegReader&&) noexcept = default;

const JpegInfo& JpegReader::Info() const {
    return state->Info();
}

PixelFormat JpegReader::Format() const {
    return state->Format();
}

unsigned JpegReader::Width() const {
    return state->Output().width;
}

unsigned JpegReader::Height() const {
    return state->Output().height;
}

std::size_t JpegReader::RowBytes() const {
    return state->RowBytes();
}

std::size_t JpegReader::ReadRows(std::uint8_t* out, std::size_t maxRows) {
    return state->ReadRows(out, maxRows, state->RowBytes());
}

std::size_t JpegReader::ReadRows(std::uint8_t* out, std::size_t maxRows, std::size_t pitch) {
    return state->ReadRows(out, maxRows, pitch);
}

const std::vector<Warning>& JpegReader::Warnings() const {
    return state->Warnings();
}

const std::vector<std::uint8_t>& JpegReader::IccProfile() const {
    return state->IccProfile();
}

JpegInfo ReadJpegInfo(const std::uint8_t* data, std::size_t size) {
    return ReadJpegInfo(data, size, DecodeOptions{});
}

JpegInfo ReadJpegInfo(const std::uint8_t* data, std::size_t size, const DecodeOptions& given) {
    const DecodeOptions options = Effective(given);
    MemoryStream stream(std::span<const std::uint8_t>(data, size));
    PictureDecoder decoder;
    decoder.SetSettings(SettingsFor(options));
    struct End {
        PictureDecoder& decoder;
        ~End() { decoder.End(); }
    } end{decoder};
    decoder.Begin(stream);
    if (!ReadToFirstScan(decoder, stream) && !decoder.EndOfImageSeen())
        throw JpegBadStream("End of Image Marker Not Found");
    return InfoOf(decoder, options);
}

// Every row into the buffer, row y at out + y × pitch. A picture without rows
// is still decoded to its end, for its failures: the first call decodes
// whatever the picture's rows need.
void ReadAllRows(Reader& reader, std::uint8_t* out, std::size_t pitch) {
    const std::size_t height = reader.Output().height;
    std::size_t row = 0;
    while (const std::size_t rows = reader.ReadRows(out + row * pitch, height - row, pitch))
        row += rows;
}

Image DecodeJpeg(const std::uint8_t* data, std::size_t size, const DecodeOptions& given) {
    const DecodeOptions options = Effective(given);
    Reader reader(data, size, options, true);
    Image image;
    image.width = reader.Output().width;
    image.height = reader.Output().height;
    image.format = options.format;
    image.pixels.resize(reader.RowBytes() * image.height);
    ReadAllRows(reader, image.pixels.data(), reader.RowBytes());
    image.warnings = reader.Warnings();
    image.iccProfile = reader.IccProfile();
    return image;
}

DecodeReport DecodeJpegInto(const std::uint8_t* data, std::size_t size, std::uint8_t* buffer,
                            std::size_t bufferSize, std::size_t pitch, const DecodeOptions& given) {
    const DecodeOptions options = Effective(given);
    Reader reader(data, size, options, false);
    const Size output = reader.Output();
    if (pitch < reader.RowBytes()) Refuse(ErrorCode::PitchTooSmall);
    if (output.height != 0 && output.width != 0) {
        const std::uint64_t needed = std::uint64_t{pitch} * (output.height - 1) + reader.RowBytes();
        if (buffer == nullptr || bufferSize < needed) Refuse(ErrorCode::BufferTooSmall);
    }
    ReadAllRows(reader, buffer, pitch);
    DecodeReport report;
    report.width = output.width;
    report.height = output.height;
    report.format = options.format;
    report.warnings = reader.Warnings();
    report.iccProfile = reader.IccProfile();
    return report;
}

}  // namespace Tessera
