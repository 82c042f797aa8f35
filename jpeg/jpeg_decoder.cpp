#include "jpeg_decoder.h"

#include <algorithm>

#include "input_byte_stream.h"

namespace Tessera {

JpegDecoder::JpegDecoder() {
    engine.SetSettings({false, kMaxPixels, kMaxScans, kMaxBlockVisitsPerBlock});
}

JpegDecoder::~JpegDecoder() = default;

void JpegDecoder::SetLimits(std::uint64_t maxPixels, std::uint32_t maxScans) {
    engine.SetSettings({false, maxPixels, maxScans, kMaxBlockVisitsPerBlock});
}

const FrameHeader& JpegDecoder::Frame() const {
    static const FrameHeader none;
    return engine.Frame() != nullptr ? *engine.Frame() : none;
}

void JpegDecoder::StartPicture(RasterImage& target) {
    image = &target;
    rowsConverted = 0;
    rowsWritten = 0;
    pixelsZeroed = true;
    sparePixels = target.TakePixels();
}

void JpegDecoder::DecodeStream(InputByteStream& stream, RasterImage& target) {
    StartPicture(target);

    // Whatever happens below, the decoder ends idle with every component's
    // buffers released, so the next picture is measured afresh.
    struct EndOfDecode {
        JpegDecoder& decoder;
        ~EndOfDecode() { decoder.EndDecode(); }
    } endOfDecode{*this};

    try {
        engine.Begin(stream);
        for (PictureDecoder::Step step;
             (step = engine.Next(stream)) != PictureDecoder::Step::End;) {
            if (step == PictureDecoder::Step::Frame)
                SizeImage();
            else
                DecodeScan(stream);
        }
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
    engine.Finish(stream);
}

// Every pixel is either written by a conversion or zeroed at the end.
void JpegDecoder::SizeImage() {
    pixelsZeroed = image->SetSizeReusing(static_cast<int>(Frame().width),
                                         static_cast<int>(Frame().height), sparePixels);
}

void JpegDecoder::DecodeScan(InputByteStream& stream) {
    engine.StartScan(stream, false);
    const unsigned rows = engine.ScanMcuRows();
    if (engine.ScanRowsFinal()) {
        const std::size_t mcuHeight = 8 * std::size_t{Frame().maxVerticalSampling};
        for (unsigned r = 0; r < rows; ++r) {
            engine.DecodeScanRows(stream, r + 1);
            ConvertFinishedRows((r + 1) * mcuHeight);
        }
    } else {
        rowsConverted = 0;
        engine.DecodeScanRows(stream, rows);
    }
    engine.EndScan(stream);
}

void JpegDecoder::RefreshImage() {
    if (image == nullptr) throw JpegError("Not reading an image");
    if (engine.ScansDone() == 0) return;
    if (!Frame().Progressive()) {
        ConvertRows(rowsConverted, SIZE_MAX);
        return;
    }
    // Progressive pictures are transformed and converted one row of MCUs at
    // a time, so that the conversion finds the samples in the cache.
    const std::size_t mcuHeight = 8 * std::size_t{Frame().maxVerticalSampling};
    for (unsigned r = 0; r < Frame().mcuRows; ++r) {
        engine.PrepareMcuRow(r);
        ConvertRows(r * mcuHeight, (r + 1) * mcuHeight);
    }
}

void JpegDecoder::ConvertRows(std::size_t first, std::size_t last) {
    const std::size_t height = static_cast<std::size_t>(image->Height());
    const std::size_t start = std::min(first, height);
    const bool written = engine.ConvertRowsInto(
        first, last, image->Pixels() + start * static_cast<std::size_t>(image->Width()));
    if (written && first <= rowsWritten)
        rowsWritten = std::max(rowsWritten, std::min(last, height));
}

void JpegDecoder::ConvertFinishedRows(std::size_t last) {
    ConvertRows(rowsConverted, last);
    rowsConverted = last;
}

void JpegDecoder::ZeroUnwrittenRows() {
    if (image == nullptr || pixelsZeroed || image->Pixels() == nullptr) return;
    const auto height = static_cast<std::size_t>(image->Height());
    const auto width = static_cast<std::size_t>(image->Width());
    if (rowsWritten < height)
        std::fill(image->Pixels() + rowsWritten * width, image->Pixels() + height * width, 0u);
    pixelsZeroed = true;
}

void JpegDecoder::EndDecode() {
    ZeroUnwrittenRows();
    sparePixels.reset();
    engine.End();
    image = nullptr;
}

}  // namespace Tessera
