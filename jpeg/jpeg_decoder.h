#pragma once

#include <cstdint>

#include "image/raster_image.h"
#include "image_decoder.h"
#include "jpeg_component.h"
#include "picture_decoder.h"
#include "simd_level.h"
#include "tessera/jpeg.h"

namespace Tessera {

class InputByteStream;

// Decodes Huffman-coded JFIF streams (baseline, extended sequential and
// progressive; 8-bit samples; one or three components) into a RasterImage,
// strictly: the saver's decoder, outcome, bytes and message alike.
//
// One decoder serves any number of pictures in turn. Tables persist between
// pictures (a picture may use a table that an earlier one defined); every
// per-picture buffer is released after each picture, whatever its outcome.
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

    JpegDecoder();
    ~JpegDecoder() override;

    // Decodes one picture from the stream's current position into the image.
    // On failure the image keeps what was decoded before the error and the
    // exception (JpegError, JpegBadStream or InputByteStream::StreamError)
    // passes through unchanged.
    virtual void DecodeStream(InputByteStream& stream, RasterImage& image);
    void RefreshImage() override;

    // --- frame queries: the last frame read ---
    bool ProgressiveFrame() const { return Frame().Progressive(); }
    unsigned McuRowCount() const { return Frame().mcuRows; }
    unsigned McuColumnCount() const { return Frame().mcuColumns; }
    unsigned PictureHeight() const { return Frame().height; }
    unsigned PictureWidth() const { return Frame().width; }
    unsigned MaxVerticalSampling() const { return Frame().maxVerticalSampling; }
    unsigned MaxHorizontalSampling() const { return Frame().maxHorizontalSampling; }
    bool InterleavedScan() const { return engine.CurrentScan().componentCount != 1; }
    unsigned FrameComponentCount() const { return Frame().componentCount; }
    unsigned RestartInterval() const { return engine.RestartInterval(); }
    unsigned ScansDone() const { return engine.ScansDone(); }
    // The identifier of the frame's component i (frame-header order).
    unsigned FrameComponentId(unsigned i) const { return Frame().components[i].id; }
    // The component at frame position i.
    const JpegComponent& Component(unsigned i) const { return engine.ComponentAt(i); }

    // The kernels (transform, colour conversion) this decoder uses: by
    // default the fastest the processor runs; every level gives the same bytes.
    const DecoderKernels& Kernels() const { return engine.Kernels(); }
    void SetSimdLevel(SimdLevel level) { engine.SetKernels(KernelsFor(level)); }

    // Lower limits than kMaxPixels and kMaxScans, for tools and fuzzing.
    void SetLimits(std::uint64_t maxPixels, std::uint32_t maxScans);

  private:
    const FrameHeader& Frame() const;
    void StartPicture(RasterImage& target);
    void SizeImage();
    void DecodeScan(InputByteStream& stream);
    // Converts image rows from the components' samples as they stand.
    void ConvertRows(std::size_t first, std::size_t last);
    // A scan whose rows are final as it decodes them has them converted as
    // it goes, while their samples are still in the cache, which spares
    // RefreshImage the work. Converts up to image row last.
    void ConvertFinishedRows(std::size_t last);
    // Zeroes what no conversion wrote of a reused pixel block.
    void ZeroUnwrittenRows();
    void EndDecode();

    PictureDecoder engine;
    RasterImage* image = nullptr;
    // The image rows that hold their final pixels from conversions while decoding.
    std::size_t rowsConverted = 0;
    // The target's pixel block from before this picture, for SetSizeReusing;
    // whether the block in use came zeroed, and the image rows from the top
    // that conversions have written (the rest must be zero at the end).
    RasterImage::PixelBlock sparePixels;
    bool pixelsZeroed = true;
    std::size_t rowsWritten = 0;
};

}  // namespace Tessera
