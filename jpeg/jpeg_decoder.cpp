#include "jpeg_decoder.h"

#include <algorithm>

#include "colour_conversion.h"
#include "image/raster_image.h"
#include "input_byte_stream.h"

namespace Tessera {

JpegDecoder::JpegDecoder() : components(std::make_unique<JpegComponent[]>(kComponentSlots)) {}

JpegDecoder::~JpegDecoder() = default;

void JpegDecoder::StartPicture(RasterImage* target) {
    image = target;
    scansDone = 0;
    convertingWhileDecoding = false;
    rowsConverted = 0;
    rowsWritten = 0;
    pixelsZeroed = true;
    frameBlocks = 0;
    blocksVisited = 0;
    restartInterval = 0;
    if (target != nullptr) sparePixels = target->TakePixels();
    endOfImageSeen = false;
    frameSeen = false;
    facts = HeaderFacts{};
    stopAtScan = false;
    scanMarkerRead = false;
    sampleBands = false;
}

void JpegDecoder::DecodeStream(InputByteStream& stream, RasterImage& target) {
    StartPicture(&target);

    // Whatever happens below, the decoder ends idle with every component's
    // buffers released, so the next picture is measured afresh.
    struct EndOfDecode {
        JpegDecoder& decoder;
        ~EndOfDecode() { decoder.EndDecode(); }
    } endOfDecode{*this};

    try {
        CheckJfifHeader(stream);
        RunMarkerLoop(stream);
    } catch (...) {
        // The image keeps what was decoded before the failure; the failure
        // itself is what the caller needs, so a failing refresh yields to it.
        try {
            RefreshImage();
        } catch (...) {
        }
        throw;
    }
    RefreshImage();
    if (!endOfImageSeen) throw JpegBadStream("End of Image Marker Not Found");
    CheckTrailingData(stream);
}

void JpegDecoder::RefreshImage() {
    if (image == nullptr) throw JpegError("Not reading an image");
    if (scansDone == 0) return;
    if (!progressive) {
        ConvertRows(rowsConverted, SIZE_MAX);
        return;
    }
    // Progressive pictures are transformed and converted one row of MCUs at
    // a time, so that the conversion finds the samples in the cache.
    const std::size_t mcuHeight = 8 * std::size_t{maxVerticalSampling};
    for (unsigned r = 0; r < mcuRows; ++r) {
        TransformMcuRow(r);
        ConvertRows(r * mcuHeight, (r + 1) * mcuHeight);
    }
}

void JpegDecoder::TransformMcuRow(unsigned mcuRow) {
    for (unsigned i = 0; i < frameComponentCount; ++i)
        components[frameComponentIds[i]].TransformMcuRow(mcuRow);
}

bool JpegDecoder::RgbFrame() const {
    return settings.tolerant && frameComponentCount == 3 && facts.adobeTransform == 0;
}

bool JpegDecoder::ConvertRowsInto(std::size_t first, std::size_t last, std::uint32_t* out) const {
    const FrameSize size{frameWidth, frameHeight};
    const RowRange rows{first, last};
    if (frameComponentCount == 1)
        return ConvertGrayscale(components[frameComponentIds[0]], size, rows, out, kernels);
    if (frameComponentCount != 3) return false;
    const JpegComponent& c0 = components[frameComponentIds[0]];
    const JpegComponent& c1 = components[frameComponentIds[1]];
    const JpegComponent& c2 = components[frameComponentIds[2]];
    if (RgbFrame()) return ConvertRgb(c0, c1, c2, size, rows, out);
    return ConvertYCbCr(c0, c1, c2, size, rows, out, kernels);
}

bool JpegDecoder::GreyRowsInto(std::size_t first, std::size_t last, std::uint8_t* out) const {
    if (frameComponentCount != 1 && frameComponentCount != 3) return false;
    const FrameSize size{frameWidth, frameHeight};
    if (RgbFrame())
        return LumaOfRgb(components[frameComponentIds[0]], components[frameComponentIds[1]],
                         components[frameComponentIds[2]], size, {first, last}, out);
    // The first component is the grey one, or Y: the luma of JFIF's YCbCr.
    return CopyGreySamples(components[frameComponentIds[0]], size, {first, last}, out);
}

void JpegDecoder::ConvertRows(std::size_t first, std::size_t last) {
    const std::size_t height = static_cast<std::size_t>(image->Height());
    const std::size_t start = std::min(first, height);
    const bool written = ConvertRowsInto(
        first, last, image->Pixels() + start * static_cast<std::size_t>(image->Width()));
    if (written && first <= rowsWritten)
        rowsWritten = std::max(rowsWritten, std::min(last, height));
}

void JpegDecoder::ZeroUnwrittenRows() {
    if (image == nullptr || pixelsZeroed || image->Pixels() == nullptr) return;
    const auto height = static_cast<std::size_t>(image->Height());
    const auto width = static_cast<std::size_t>(image->Width());
    if (rowsWritten < height)
        std::fill(image->Pixels() + rowsWritten * width, image->Pixels() + height * width, 0u);
    pixelsZeroed = true;
}

void JpegDecoder::ConvertFinishedRows(std::size_t last) {
    ConvertRows(rowsConverted, last);
    rowsConverted = last;
}

void JpegDecoder::ReleaseComponentData() {
    // Every component that holds buffers, not only the frame's: a scan header
    // that fails half-way has already sized some of its components, and those
    // must not carry that geometry into the next picture.
    // The frame's own components keep their memory for the next picture;
    // any other frees it, so no more than one picture's worth is kept.
    for (unsigned id = 0; id < kComponentSlots; ++id)
        components[id].ReleaseBuffers(frameSeen && IsFrameComponent(id));
}

void JpegDecoder::EndDecode() {
    ZeroUnwrittenRows();
    sparePixels.reset();
    ReleaseComponentData();
    image = nullptr;
}

}  // namespace Tessera
