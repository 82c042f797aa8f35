#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "resources/resource_stream.h"
#include "slideshow_state.h"

namespace Miruton {

// Where the show's pictures come from: the bytes of a picture by its
// resource name (type "JPEG"), valid until Close.
class PictureSource {
  public:
    virtual ~PictureSource() = default;
    virtual std::span<const std::uint8_t> Open(std::string_view name) = 0;
    virtual void Close() = 0;
};

// The pictures inside the executable.
class ResourcePictureSource : public PictureSource {
  public:
    std::span<const std::uint8_t> Open(std::string_view name) override;
    void Close() override { stream.Close(); }

  private:
    ResourceStream stream;
};

// Decodes every picture of the show (only "PREV" in preview mode) into packed
// buffers, strictly, through the library's interface (DecodeJpeg, strict,
// PixelFormat::Bgr). A picture that cannot be decoded ends the decoding with
// the decoder's exception; the pictures packed so far stay in the state and
// are released with it.
void DecodePictures(SlideshowState& state, PictureSource& source);

// Puts the show on a screen: keeps the screen and centres the first picture on
// its primary monitor. The preview ignores the screen's monitors and scale: it
// is one unscaled screen of the client area's size.
void StartOnScreen(SlideshowState& state, const ScreenLayout& screen);

// Window creation: DecodePictures, then StartOnScreen.
void LoadPictures(SlideshowState& state, const ScreenLayout& screen, PictureSource& source);

// The same on one monitor covering the client area, at scale 1.
void LoadPictures(SlideshowState& state, int clientWidth, int clientHeight, PictureSource& source);

// Frees the packed buffers (window destruction).
void ReleasePictures(SlideshowState& state);

// How many pictures this process has decoded: a window that changes size must
// not decode its show's pictures again (--verbose and the tests tell).
int PicturesDecoded();

}  // namespace Miruton
