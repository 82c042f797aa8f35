#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "huffman_table.h"
#include "image/raster_image.h"
#include "image_decoder.h"
#include "jpeg_component.h"
#include "quant_table.h"
#include "simd_level.h"
#include "tessera/jpeg.h"

namespace Tessera {

class BitReader;
class InputByteStream;

// Decodes Huffman-coded JFIF streams (baseline, extended sequential and
// progressive; 8-bit samples; one or three components) into a RasterImage.
//
// One decoder serves any number of pictures in turn. Tables and component
// settings persist between pictures (a picture may use a table that an earlier
// one defined); every per-picture buffer is released after each picture,
// whatever its outcome.
class JpegDecoder : public ImageDecoder {
  public:
    // The library's exceptions (tessera/jpeg.h), under the names the decoder
    // has always given them.
    using JpegError = Tessera::JpegError;
    using JpegBadStream = Tessera::JpegBadStream;

    // Pictures above this many pixels are refused before anything is
    // allocated. 2^28 (268 megapixels) admits any ordinary photograph (a
    // 100-megapixel one needs about 1.6 GB while it decodes); the worst case
    // at the limit, progressive 4:4:4, needs about 4.3 GB.
    static constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;
    // Scans per picture. A progressive picture from an ordinary encoder has
    // about 10 (cjpeg's default script: 10; one scan per bit plane of each
    // band still stays in the dozens), so 1000 refuses only streams made to
    // repeat scans.
    static constexpr std::uint32_t kMaxScans = 1000;
    // How many times the scans of a picture may visit each of its blocks, on
    // average. Every scan visits each block of its components once, and a
    // progressive scan may pass a whole end-of-band run of blocks for a few
    // bits, so scans, not data, would otherwise set the work. Ordinary
    // progressive pictures visit each block 5 to 8 times (a DC scan over all
    // components, then the AC bands and their refinements per component); 32
    // keeps the worst case at the largest frame within a few times the
    // decode of a real picture of that size.
    static constexpr std::uint64_t kMaxBlockVisitsPerBlock = 32;
    // Component identifiers index the component array; 255 has no entry.
    static constexpr unsigned kComponentSlots = 255;

    JpegDecoder();
    ~JpegDecoder() override;

    // Decodes one picture from the stream's current position into the image.
    // On failure the image keeps what was decoded before the error and the
    // exception (JpegError, JpegBadStream or InputByteStream::StreamError)
    // passes through unchanged.
    virtual void DecodeStream(InputByteStream& stream, RasterImage& image);
    void RefreshImage() override;

    // --- frame queries, answered while a picture is decoded ---
    bool ProgressiveFrame() const { return progressive; }
    unsigned McuRowCount() const { return mcuRows; }
    unsigned McuColumnCount() const { return mcuColumns; }
    unsigned PictureHeight() const { return frameHeight; }
    unsigned PictureWidth() const { return frameWidth; }
    unsigned MaxVerticalSampling() const { return maxVerticalSampling; }
    unsigned MaxHorizontalSampling() const { return maxHorizontalSampling; }
    bool InterleavedScan() const { return scanComponentCount != 1; }
    unsigned FrameComponentCount() const { return frameComponentCount; }
    unsigned RestartInterval() const { return restartInterval; }
    unsigned ScansDone() const { return scansDone; }
    // The identifier of the frame's component i (frame-header order).
    unsigned FrameComponentId(unsigned i) const { return frameComponentIds[i]; }

    // The kernels (transform, colour conversion) this decoder uses: by
    // default the fastest the processor runs; every level gives the same bytes.
    const DecoderKernels& Kernels() const { return kernels; }
    void SetSimdLevel(SimdLevel level) { kernels = KernelsFor(level); }

    // For tests: the component that an identifier names.
    const JpegComponent& Component(unsigned id) const { return components[id]; }

    // --- what the library's own interface (tessera/jpeg.h) adds ---

    // A decode's leniency and limits. The defaults are this decoder's own
    // behaviour; tolerant accepts what other decoders accept (the APPn
    // segments cameras write before the frame with JFIF optional, Adobe RGB,
    // data after EOI, 16-bit quantization tables in extended and progressive
    // frames, a damaged restart interval).
    struct Settings {
        bool tolerant = false;
        std::uint64_t maxPixels = kMaxPixels;
        std::uint32_t maxScans = kMaxScans;
    };
    void SetSettings(const Settings& value) { settings = value; }

    // What the headers say besides the frame, as far as they have been read.
    struct HeaderFacts {
        std::uint8_t frameCode = 0;  // the SOF marker code; 0 before the frame
        bool jfif = false;
        int adobeTransform = -1;   // APP14's colour transform; -1 without one
        unsigned orientation = 0;  // Exif orientation 1..8, 0 without one
        bool iccProfile = false;
    };
    const HeaderFacts& Facts() const { return facts; }
    bool FrameSeen() const { return frameSeen; }
    bool EndOfImageSeen() const { return endOfImageSeen; }
    // Three components that are red, green and blue (Adobe transform 0, in
    // tolerant decodes) rather than Y, Cb and Cr.
    bool RgbFrame() const;

    // Decoding a step at a time, without an image, for a reader that takes
    // rows as they are needed: BeginPicture, ReadSegmentsToScan, then per scan
    // either DecodeScan or, for a sequential scan, ReadScanHeader,
    // DecodeMcuRows and EndScanData; FinishPicture after the last; EndPicture
    // in any case.
    //
    // Checks the start of the stream (SOI, and in strict decodes the JFIF APP0).
    void BeginPicture(InputByteStream& stream);
    // Handles segments until a scan's SOS marker has been read (true) or the
    // stream's segments end (false: EOI, or the end of the data).
    bool ReadSegmentsToScan(InputByteStream& stream);
    // The scan whose marker ReadSegmentsToScan stopped at, header and data;
    // then the segments after it up to the next scan.
    void DecodeScan(InputByteStream& stream);
    void ReadScanHeader(InputByteStream& stream);
    // Decodes MCU rows up to (not including) `mcuRow` of the current scan.
    void DecodeMcuRows(InputByteStream& stream, unsigned mcuRow);
    void EndScanData(InputByteStream& stream);
    // After the last segment: the EOI and the trailing-data checks.
    void FinishPicture(InputByteStream& stream);
    // Releases the picture's buffers (whatever happened).
    void EndPicture() { EndDecode(); }
    // Set before a scan header: components hold the samples of one row of
    // MCUs, for a sequential scan whose rows are taken as they are decoded.
    void SetSampleBands(bool value) { sampleBands = value; }
    bool SampleBands() const { return sampleBands; }
    // Progressive frames: turns the coefficients of one MCU row into samples.
    void TransformMcuRow(unsigned mcuRow);
    // Converts image rows first .. last − 1 from the samples as they stand
    // into BGRA pixels, or into grey samples (colour pictures give their
    // luma); false when the components cannot give them (nothing written).
    bool ConvertRowsInto(std::size_t first, std::size_t last, std::uint32_t* out) const;
    bool GreyRowsInto(std::size_t first, std::size_t last, std::uint8_t* out) const;

  private:
    // --- decode loop and marker segments ---
    void CheckJfifHeader(InputByteStream& stream);
    void HandleMarker(InputByteStream& stream);
    void SkipApplicationSegment(InputByteStream& stream, std::uint8_t code);
    void LoadHuffmanTables(InputByteStream& stream);
    void LoadQuantTables(InputByteStream& stream);
    void LoadRestartInterval(InputByteStream& stream);
    void LoadFrameHeader(InputByteStream& stream, std::uint8_t code);
    void LoadScanHeader(InputByteStream& stream);
    void ComputeMcuGeometry();
    // Returns true when it stopped at a scan's SOS marker (stopAtScan);
    // resume continues after the segment the last call stopped at.
    bool RunMarkerLoop(InputByteStream& stream, bool resume = false);
    // Resets the per-picture state for a decode into the target (or none).
    void StartPicture(RasterImage* target);
    void ParseApplicationSegment(InputByteStream& stream, std::uint8_t code, unsigned length);
    void DecodeScanData(InputByteStream& stream);
    void CheckTrailingData(InputByteStream& stream);
    bool IsFrameComponent(unsigned id) const;

    // --- scan drivers ---
    // A scan is walked in units (MCUs when interleaved, blocks otherwise),
    // possibly in several calls; each driver walks units walk.next .. end − 1.
    struct ScanWalk {
        unsigned ss = 0, se = 0, ah = 0, al = 0;
        std::uint64_t units = 0;     // units of the scan
        std::uint64_t next = 0;      // the unit to decode next
        unsigned counter = 0;        // units since the scan's start or the last restart marker
        std::uint64_t resumeAt = 0;  // units before it lie in damaged intervals (tolerant)
        std::uint64_t unitsPerMcuRow = 0;
    };
    void StartScanWalk(unsigned ss, unsigned se, unsigned ah, unsigned al);
    // Decodes the scan's units up to `end`, filling damaged intervals in
    // tolerant decodes.
    void WalkUnits(BitReader& bits, std::uint64_t end);
    // True when a tolerant decode can go on after a failure in the scan data:
    // the rest of the interval is filled and the walk resumes at the next
    // restart marker.
    bool RecoverFromDamage(BitReader& bits);
    void FillUnits(std::uint64_t from, std::uint64_t to);
    void RunDriver(BitReader& bits, std::uint64_t end);
    void RunSequentialScan(BitReader& bits, std::uint64_t end);
    void RunProgressiveScan(BitReader& bits, std::uint64_t end);
    void RunDcInitialPass(BitReader& bits, std::uint64_t end);
    void RunDcRefinementPass(BitReader& bits, std::uint64_t end);
    void RunAcBandPass(BitReader& bits, std::uint64_t end);
    void RunAcRefinementPass(BitReader& bits, std::uint64_t end);
    // The block operation is called as operation(component, stream, row, col).
    template <typename BlockOperation>
    void WalkScan(BitReader& bits, bool progressiveDriver, BlockOperation operation,
                  std::uint64_t end);
    template <typename BlockOperation>
    void WalkInterleaved(BitReader& bits, bool progressiveDriver, BlockOperation operation,
                         std::uint64_t end);
    template <typename BlockOperation>
    void WalkNonInterleaved(BitReader& bits, bool progressiveDriver, BlockOperation operation,
                            std::uint64_t end);
    void RestartCheck(BitReader& bits, bool progressiveDriver);
    void ClearDcPredictors();
    void ExpectRestartMarker(BitReader& bits);

    // --- conversion into the image ---
    // Converts image rows from the components' samples as they stand.
    void ConvertRows(std::size_t first, std::size_t last);
    // A sequential scan that codes every component of the frame and is the
    // picture's first scan leaves the image rows above its position final;
    // converting them as it goes, while their samples are still in the
    // cache, spares RefreshImage the work. Converts up to image row last.
    void ConvertFinishedRows(std::size_t last);

    // --- per-picture data ---
    void ReleaseComponentData();
    // Zeroes what no conversion wrote of a reused pixel block.
    void ZeroUnwrittenRows();
    void EndDecode();

    std::array<HuffmanTable, 4> acTables;
    std::array<HuffmanTable, 4> dcTables;
    std::array<QuantTable, 4> quantTables;
    bool endOfImageSeen = false;
    bool frameSeen = false;
    std::uint32_t restartInterval = 0;
    std::uint32_t frameWidth = 0;
    std::uint32_t frameHeight = 0;
    std::uint32_t maxHorizontalSampling = 0;
    std::uint32_t maxVerticalSampling = 0;
    bool progressive = false;
    std::uint32_t frameComponentCount = 0;
    std::unique_ptr<JpegComponent[]> components;
    std::array<std::uint32_t, kComponentSlots> frameComponentIds{};
    RasterImage* image = nullptr;
    std::uint32_t scansDone = 0;
    // Blocks of the frame (whole MCUs) and blocks visited by this picture's
    // scans so far, for kMaxBlockVisitsPerBlock.
    std::uint64_t frameBlocks = 0;
    std::uint64_t blocksVisited = 0;
    std::uint32_t mcuRows = 0;
    std::uint32_t mcuColumns = 0;
    std::uint32_t scanComponentCount = 0;
    std::array<JpegComponent*, kComponentSlots> scanComponents{};
    std::uint32_t nextRestartNumber = 0;
    // The current scan converts rows as it finishes them, and the image rows
    // that hold their final pixels as a result.
    bool convertingWhileDecoding = false;
    std::size_t rowsConverted = 0;
    // The target's pixel block from before this picture, for SetSizeReusing;
    // whether the block in use came zeroed, and the image rows from the top
    // that conversions have written (the rest must be zero at the end).
    RasterImage::PixelBlock sparePixels;
    bool pixelsZeroed = true;
    std::size_t rowsWritten = 0;
    DecoderKernels kernels = KernelsFor(BestSimdLevel());

    Settings settings;
    HeaderFacts facts;
    ScanWalk walk;
    // Where the current scan's data, or its last restart interval, began.
    const std::uint8_t* restartMark = nullptr;
    // ReadSegmentsToScan's marker loop stops at an SOS marker, and found one.
    bool stopAtScan = false;
    bool scanMarkerRead = false;
    bool sampleBands = false;
    std::vector<std::uint8_t> segmentPayload;
};

}  // namespace Tessera
