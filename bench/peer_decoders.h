#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "image/raster_image.h"
#include "jpeg/jpeg_decoder.h"

namespace TesseraBench {

struct PictureSize {
    int width = 0;
    int height = 0;
    bool operator==(const PictureSize&) const = default;
};

// A JPEG decoder under measurement: Tessera or one of its peers. Each keeps
// what it can reuse (decoder state, handles, output buffers) from one decode
// to the next, as a program that shows many pictures would.
class PeerDecoder {
  public:
    virtual ~PeerDecoder() = default;

    // "tessera", "turbo" or "stb".
    virtual const char* Name() const = 0;
    // Decodes a whole JPEG file held in memory into 32-bit pixels; throws
    // BenchError saying why when the decoder fails.
    virtual PictureSize Decode(std::span<const std::uint8_t> file) = 0;
    // The last decode's pixels as blue, green, red, unused bytes; empty for a
    // decoder that does not keep them or does not produce that order.
    virtual std::span<const std::uint8_t> LastBgrxPixels() const { return {}; }
};

// Tessera's public API: one JpegDecoder and one RasterImage for every decode,
// as the slideshow uses them. Output BGRA, the library's native order.
class TesseraDecoder final : public PeerDecoder {
  public:
    TesseraDecoder() = default;
    explicit TesseraDecoder(Tessera::SimdLevel level) { decoder.SetSimdLevel(level); }
    const char* Name() const override { return "tessera"; }
    PictureSize Decode(std::span<const std::uint8_t> file) override;
    std::span<const std::uint8_t> LastBgrxPixels() const override;

  private:
    Tessera::JpegDecoder decoder;
    Tessera::RasterImage image;
};

// libjpeg-turbo through the TurboJPEG API: one handle for every decode,
// tjDecompress2 into TJPF_BGRX with TJFLAG_FASTUPSAMPLE and the default
// (accurate integer) IDCT, into an output buffer that is reused.
class TurboDecoder final : public PeerDecoder {
  public:
    TurboDecoder();
    ~TurboDecoder() override;
    TurboDecoder(const TurboDecoder&) = delete;
    TurboDecoder& operator=(const TurboDecoder&) = delete;

    const char* Name() const override { return "turbo"; }
    PictureSize Decode(std::span<const std::uint8_t> file) override;
    std::span<const std::uint8_t> LastBgrxPixels() const override { return output; }

  private:
    void* handle;  // tjhandle
    std::vector<std::uint8_t> output;
};

// stb_image: stbi_load_from_memory with 4 channels. stb_image cannot produce
// blue-first pixels, so its output is RGBA, and it allocates a new buffer for
// every picture (freed again in Decode); it keeps no pixels for comparison.
class StbDecoder final : public PeerDecoder {
  public:
    const char* Name() const override { return "stb"; }
    PictureSize Decode(std::span<const std::uint8_t> file) override;
};

}  // namespace TesseraBench
