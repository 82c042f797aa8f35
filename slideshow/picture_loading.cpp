#include "picture_loading.h"

#include <string>

#include "image/raster_image.h"
#include "jpeg/jpeg_decoder.h"

namespace Tessera {

InputByteStream& ResourcePictureSource::Open(std::string_view name) {
    stream.Open(std::string(name).c_str(), std::string(kPictureType).c_str());
    return stream;
}

void LoadPictures(SlideshowState& state, int clientWidth, int clientHeight, PictureSource& source) {
    // One image and one decoder serve every picture in turn; the 32-bit image
    // lives for one picture at a time.
    RasterImage image;
    JpegDecoder decoder;

    state.clientWidth = clientWidth;
    state.clientHeight = clientHeight;
    if (state.preview) state.pictureCount = 1;

    for (int i = 0; i < state.pictureCount; ++i) {
        const std::string_view name = state.preview ? kPreviewPictureName : kPictureNames[i];
        InputByteStream& stream = source.Open(name);
        try {
            decoder.DecodeStream(stream, image);
        } catch (...) {
            source.Close();
            throw;
        }
        source.Close();
        state.pictures[i] = PackPicture(image);
        image.Clear();
    }

    const PackedPicture& first = state.pictures[0];
    // Each half truncates on its own: (1023 / 2) - (336 / 2) = 511 - 168.
    state.x = clientWidth / 2 - first.width / 2;
    state.y = clientHeight / 2 - first.height / 2;
}

void ReleasePictures(SlideshowState& state) {
    for (int i = 0; i < state.pictureCount; ++i) state.pictures[i] = PackedPicture{};
}

}  // namespace Tessera
