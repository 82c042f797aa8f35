#pragma once

namespace Tessera {

// Abstract base of the image decoders.
class ImageDecoder {
  public:
    ImageDecoder() = default;
    ImageDecoder(const ImageDecoder&) = delete;
    ImageDecoder& operator=(const ImageDecoder&) = delete;
    virtual ~ImageDecoder() = default;

    // Converts what has been decoded so far into the target image.
    virtual void RefreshImage() {}
};

}  // namespace Tessera
