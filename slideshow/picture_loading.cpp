#include "picture_loading.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "tessera/jpeg.h"

namespace Miruton {

namespace {

// Counted for the whole process: a show made again for a new window size
// would count its pictures a second time.
std::atomic<int> decodedPictures = 0;

}  // namespace

std::span<const std::uint8_t> ResourcePictureSource::Open(std::string_view name) {
    stream.Open(std::string(name).c_str(), std::string(kPictureType).c_str());
    // The whole resource is the stream's buffer.
    return {stream.ReadPointer(), stream.BufferEnd()};
}

void DecodePictures(SlideshowState& state, PictureSource& source) {
    // Exactly the saver's decoder, straight into the packed layout.
    const Tessera::DecodeOptions options{.strict = true, .format = Tessera::PixelFormat::Bgr};
    if (state.preview) state.pictureCount = 1;
    for (int i = 0; i < state.pictureCount; ++i) {
        const std::string_view name = state.preview ? kPreviewPictureName : kPictureNames[i];
        const std::span<const std::uint8_t> bytes = source.Open(name);
        Tessera::Image image;
        try {
            image = Tessera::DecodeJpeg(bytes.data(), bytes.size(), options);
        } catch (...) {
            source.Close();
            throw;
        }
        source.Close();
        state.pictures[i] = {static_cast<int>(image.width), static_cast<int>(image.height),
                             std::move(image.pixels)};
        ++decodedPictures;
    }
}

void StartOnScreen(SlideshowState& state, const ScreenLayout& screen) {
    // The preview's window is small and its size is given: one unscaled screen.
    state.screen = state.preview ? SingleScreen(screen.clientWidth, screen.clientHeight) : screen;
    state.screen.scale = std::clamp(state.screen.scale, 1, kMaxScale);
    const PackedPicture& first = state.pictures[0];
    const int scale = state.screen.scale;
    const ScreenPoint centre =
        CentreOnPrimary(state.screen, scale * first.width, scale * first.height);
    state.x = centre.x;
    state.y = centre.y;
}

void LoadPictures(SlideshowState& state, const ScreenLayout& screen, PictureSource& source) {
    DecodePictures(state, source);
    StartOnScreen(state, screen);
}

void LoadPictures(SlideshowState& state, int clientWidth, int clientHeight, PictureSource& source) {
    LoadPictures(state, SingleScreen(clientWidth, clientHeight), source);
}

void ReleasePictures(SlideshowState& state) {
    for (int i = 0; i < state.pictureCount; ++i) state.pictures[i] = PackedPicture{};
}

int PicturesDecoded() {
    return decodedPictures;
}

}  // namespace Miruton
