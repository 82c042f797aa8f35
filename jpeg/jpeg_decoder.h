#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "../image/raster_image.h"
#include "graphics_exception.h"
#include "huffman_table.h"
#include "image_decoder.h"
#include "jpeg_component.h"
#include "quant_table.h"
#include "simd_level.h"

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
    class JpegError : public GraphicsException {
      public:
        explicit JpegError(std::string message) : GraphicsException(std::move(message)) {}
    };
    class JpegBadStream : public JpegError {
      public:
        explicit JpegBadStream(std::string message) : JpegError(std::move(message)) {}
    };

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

    // The kernels (transform, colour conversion) this decoder uses: by
    // default the fastest the processor runs; every level gives the same bytes.
    const DecoderKernels& Kernels() const { return kernels; }
    void SetSimdLevel(SimdLevel level) { kernels = KernelsFor(level); }

    // For tests: the component that an identifier names.
    const JpegComponent& Component(unsigned id) const { return components[id]; }

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
    void RunMarkerLoop(InputByteStream& stream);
    void CheckTrailingData(InputByteStream& stream);
    bool IsFrameComponent(unsigned id) const;

    // --- scan drivers ---
    void RunSequentialScan(BitReader& bits);
    void RunProgressiveScan(BitReader& bits, unsigned ss, unsigned se, unsigned ah, unsigned al);
    void RunDcInitialPass(BitReader& bits, unsigned al);
    void RunDcRefinementPass(BitReader& bits, unsigned al);
    void RunAcBandPass(BitReader& bits, unsigned ss, unsigned se, unsigned al);
    void RunAcRefinementPass(BitReader& bits, unsigned ss, unsigned se, unsigned al);
    // The block operation is called as operation(component, stream, row, col).
    template <typename BlockOperation>
    void WalkScan(BitReader& bits, bool progressiveDriver, BlockOperation operation);
    template <typename BlockOperation>
    void WalkInterleaved(BitReader& bits, bool progressiveDriver, BlockOperation operation);
    template <typename BlockOperation>
    void WalkNonInterleaved(BitReader& bits, bool progressiveDriver, BlockOperation operation);
    void RestartCheck(BitReader& bits, unsigned& counter, bool progressiveDriver);
    void ClearDcPredictors();
    void ExpectRestartMarker(BitReader& bits);

    // --- conversion into the image ---
    // Converts image rows from the components' samples as they stand.
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
};

}  // namespace Tessera
