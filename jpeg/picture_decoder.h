#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "block_smoothing.h"
#include "colour_conversion.h"
#include "frame_header.h"
#include "jpeg_component.h"
#include "row_converter.h"
#include "scan_decoder.h"
#include "scan_header.h"
#include "simd_level.h"
#include "table_segments.h"

namespace Tessera {

class InputByteStream;

// Columns [first, last) of the picture; by default all.
struct Columns {
    std::size_t first = 0;
    std::size_t last = SIZE_MAX;
};

// The decoder's engine: one picture at a time, a step at a time, with one
// marker loop and each rule of the stream's structure in one place. The
// fronts (JpegDecoder, which fills a RasterImage, and the library's
// JpegReader) drive it:
//
//   Begin                          SOI (and in strict decodes the JFIF APP0)
//   Next → Frame | Scan | End      segments up to the frame header, a scan's
//                                  SOS marker, or the end of the segments
//   at a Scan: StartScan, DecodeScanRows (once or row by row), EndScan
//   Finish                         EOI and what may follow it
//   End                            releases the picture's buffers, always
//
// Between the steps the fronts convert rows (ConvertRowsInto, GreyRowsInto)
// from the samples as they stand, after PrepareMcuRow.
class PictureDecoder {
  public:
    struct Settings {
        // Accept what other decoders accept (see DecodeOptions::strict).
        bool tolerant = false;
        std::uint64_t maxPixels = 0;
        std::uint32_t maxScans = 0;
        // Scans visit each block at most this many times on average.
        std::uint64_t maxBlockVisitsPerBlock = 0;
        // Tolerant decodes: throw the error a repair stands for instead.
        bool failOnWarning = false;
        // How samples become pixels; strict decodes take Exact.
        Pixels pixels = Pixels::Exact;
        // Samples per block side of the largest components (M of a decode
        // at M/8); 8 but with libjpeg's pixels.
        unsigned scaledSize = 8;
        // Picture rows and columns wanted (at the decode's scale); width 0: all.
        Region region{};
        // Decodes on two threads (see StepPipeline): the rows of MCUs in
        // flight between them. A sequential scan whose rows are taken as
        // they are decoded keeps its blocks' coefficients for
        // TransformDecodedMcuRow.
        unsigned pipelineMcuRows = 0;
    };
    enum class Step { Frame, Scan, End };

    void SetSettings(const Settings& value) { settings = value; }
    const Settings& GetSettings() const { return settings; }
    const DecoderKernels& Kernels() const { return kernels; }
    void SetKernels(const DecoderKernels& value) { kernels = value; }

    void Begin(InputByteStream& stream);
    Step Next(InputByteStream& stream);
    // Reads the header of the scan whose marker Next stopped at, readies its
    // components and enters its data. rowsWanted: the caller takes rows as
    // they are decoded when ScanRowsFinal, so its components need hold only
    // one row of MCUs of samples.
    void StartScan(InputByteStream& stream, bool rowsWanted);
    // Whether the rows a scan decodes are the picture's final ones as it
    // decodes them: a sequential frame's first scan, coding every component,
    // with EOI after its data (no later scan can change what it gives).
    bool ScanRowsFinal() const { return rowsFinal; }
    // The caller has found EOI after the data that begins at `scanData`
    // (only restart markers within): StartScan need not read that scan's
    // data through once more to learn it. Forgotten at Begin.
    void NoteEndOfImageAfter(const std::uint8_t* scanData) { endOfImageAfter = scanData; }
    // Whether a progressive picture's scan started with rowsWanted is its
    // last (EOI after its data) and leaves each row of MCUs final once it
    // has passed it: it codes only blocks that exist already, and the
    // progression it completes needs no block smoothing, so rows transform
    // as their coefficients stand. The caller may then convert rows behind
    // the scan as it decodes (on another thread).
    bool LastScanRowsFinal() const { return lastScanRowsFinal; }
    // A sequential Huffman-coded scan with restart intervals, not yet
    // decoded, whose data the stream holds whole: where each of its restart
    // markers begins (marker i, the last 0xFF before its code, starts
    // interval i + 1), found without decoding. Empty where the data before
    // the scan's next other marker does not hold one marker for every
    // interval after the first, numbered in order. The stream is left at
    // that other marker, for MoveToRestartInterval.
    std::vector<const std::uint8_t*> FindRestartMarkers(InputByteStream& stream);
    // The same scan, wherever its decode stands or after it ended: decodes
    // on from the start of restart interval `interval` (at least 1), whose
    // marker begins at `marker`, as another decoder of the same picture
    // decodes the intervals before it. The rows it reaches again are
    // written block by block over what they held; only a part of the
    // picture whose decode repaired nothing (every block reached) stands.
    void MoveToRestartInterval(InputByteStream& stream, std::uint64_t interval,
                               const std::uint8_t* marker);
    // Rows of MCUs the scan walks, and decoding up to (not including) MCU row `end`.
    unsigned ScanMcuRows() const;
    std::uint64_t ScanUnitsPerMcuRow() const { return scanDecoder->UnitsPerMcuRow(); }
    void DecodeScanRows(InputByteStream& stream, unsigned end);
    void EndScan(InputByteStream& stream);
    // After Next has ended: the EOI, and in strict decodes what follows it.
    void Finish(InputByteStream& stream);
    void End();

    // --- the picture as far as it has been read ---
    const FrameHeader* Frame() const { return frame ? &*frame : nullptr; }
    const HeaderFacts& Facts() const { return facts; }
    unsigned RestartInterval() const { return restartInterval; }
    unsigned ScansDone() const { return scansDone; }
    bool EndOfImageSeen() const { return endOfImage; }
    // What this picture's decode has repaired so far (tolerant decodes).
    const std::vector<Warning>& Warnings() const { return warnings; }
    // How the components' samples become colours.
    ColourSpace Colours() const;
    const ScanHeader& CurrentScan() const { return scan; }
    // Whether the scan being decoded has repaired anything so far (its
    // warnings come when it ends).
    bool ScanRepaired() const {
        return scanDecoder &&
               (scanDecoder->Repaired().damagedIntervals != 0 || scanDecoder->Repaired().cutOff);
    }
    // The component at frame position i (the one it shares, where it does).
    const JpegComponent& ComponentAt(unsigned i) const;

    // Progressive frames: turns the coefficients of one MCU row into samples
    // (once; again after a scan).
    void PrepareMcuRow(unsigned mcuRow);
    // Sequential frames decoded on two threads: the samples of a decoded
    // row of MCUs (on the thread that converts it). Progressive rows are
    // transformed as they are prepared.
    void TransformDecodedMcuRow(unsigned mcuRow);
    // Before a scan's first row: its blocks are transformed as they are
    // decoded after all, as on one thread (a part of a picture that one
    // thread decodes while another decodes the rest).
    void TransformAsDecoded();
    // The decoded picture's size: the frame's, or at a scaled decode's scale.
    std::size_t OutputWidth() const;
    std::size_t OutputHeight() const;
    // Picture rows of one row of MCUs, and the rows of MCUs after a row's
    // own that must be decoded before it can be converted (1 where smooth
    // vertical up-sampling reads the next row).
    std::size_t OutputMcuHeight() const;
    unsigned McuRowsAhead() const { return rowConverter.NeedsNeighbourRows() ? 1 : 0; }

    // Image rows first .. last − 1 from the samples as they stand, as BGRA
    // pixels or grey samples (colour pictures give their luma); false when
    // there is nothing to convert (nothing written).
    bool ConvertRowsInto(std::size_t first, std::size_t last, std::uint32_t* out,
                         Columns columns = {});
    bool GreyRowsInto(std::size_t first, std::size_t last, std::uint8_t* out, Columns columns = {});
    // Pixels straight into a layout: libjpeg's (Pixels::Smooth, ::Replicated)
    // into any, the saver's into the colour layouts; false as above, or for
    // the saver's pixels in Grey and Cmyk (GreyRowsInto, InkRowsInto).
    bool PixelRowsInto(std::size_t first, std::size_t last, PixelFormat format, std::uint8_t* out,
                       Columns columns = {});
    // Four bytes a pixel: the inks (see PixelFormat::Cmyk).
    bool InkRowsInto(std::size_t first, std::size_t last, std::uint8_t* out, Columns columns = {});

  private:
    std::optional<Step> HandleMarker(InputByteStream& stream);
    FourComponents Inks() const;
    void ReadFrame(InputByteStream& stream, std::uint8_t code);
    // libjpeg's pixels: each component's transform size and up-sampler.
    void SetUpAccurateComponents(const FrameHeader& value, JpegComponent::Setup setup);
    void SetTransformWindows(const FrameHeader& value);
    unsigned BandMcuRows() const;
    bool Accurate() const { return settings.pixels != Pixels::Exact; }
    Columns Clip(Columns columns) const;
    // The saver's pixels of image rows first .. last − 1.
    bool ExactRowsInto(std::size_t first, std::size_t last, const PixelTarget& target);
    void TransformMcuRow(unsigned mcuRow);
    void CheckScanTables(const JpegComponent& component, const ScanComponent& selectors);
    void CheckHuffmanTable(bool dc, unsigned slot);
    // A table the frame uses but does not define: refused, or the standard one.
    void LoadMissingHuffmanTable(bool dc, unsigned slot);
    // Records a repair, or throws the error it stands for (failOnWarning).
    void Warn(ErrorCode code, std::string text);
    // The data ends where a marker should be.
    Step EndOfData();
    void ReportRepairs();
    bool Repairs() const { return settings.tolerant && !settings.failOnWarning; }
    void PrepareScanComponents(bool bands);
    void CountBlockVisits();
    // Tolerant decodes of progressive frames, after a scan: whether and how
    // block smoothing fills in what the scans so far have not brought.
    void PlanSmoothing();
    // For StartScan: whether the scan is one of LastScanRowsFinal; if so,
    // the smoothing plan (none) is fixed now, as the rows come before the end.
    bool RowsFinalAsScanned(const InputByteStream& stream);
    bool Converts() const;
    // Whether only line ends follow EOI.
    static bool OnlyLineEndsFollow(InputByteStream& stream);

    Settings settings;
    DecoderKernels kernels = KernelsFor(BestSimdLevel());
    // Kept from picture to picture.
    TableSet tables;
    std::vector<std::uint8_t> segmentPayload;

    // --- per picture ---
    HeaderFacts facts;
    std::optional<FrameHeader> frame;
    unsigned restartInterval = 0;
    // Set by DAC; a picture starts with T.81's defaults.
    ArithmeticConditioning conditioning;
    bool endOfImage = false;
    bool firstByte = true;
    std::uint32_t scansDone = 0;
    std::uint64_t blocksVisited = 0;
    std::array<JpegComponent, kMaxFrameComponents> components;
    // Strict decodes carry an end-of-band run left at a scan's end over to
    // the next scan of the same component, as they always have.
    std::array<unsigned, kMaxFrameComponents> eobRunsLeft{};
    // The row of MCUs whose samples each band slot holds (progressive).
    std::vector<int> transformedMcuRows;
    RowConverter rowConverter;
    std::vector<Warning> warnings;
    ScanProgress progress;
    SmoothingPlan smoothing;

    // --- per scan ---
    ScanHeader scan;
    std::optional<ScanDecoder> scanDecoder;
    bool rowsFinal = false;
    const std::uint8_t* endOfImageAfter = nullptr;  // see NoteEndOfImageAfter
    bool lastScanRowsFinal = false;
};

// Whether entropy-coded data from `at` on is followed by EOI: the first
// marker before `end` that is neither a stuffed zero nor a restart marker.
bool EndOfImageFollows(const std::uint8_t* at, const std::uint8_t* end);

}  // namespace Tessera
