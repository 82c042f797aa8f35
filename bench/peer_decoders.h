#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "image/raster_image.h"
#include "jpeg/jpeg_decoder.h"
#include "tessera/jpeg.h"

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

    // "tessera", "turbo", "stb"; "-rgb" and the like after them for other
    // pixels and orders (each class below tells).
    virtual const char* Name() const = 0;
    // Decodes a whole JPEG file held in memory into 32-bit pixels; throws
    // BenchError saying why when the decoder fails.
    virtual PictureSize Decode(std::span<const std::uint8_t> file) = 0;
    // The last decode's pixels as blue, green, red, unused bytes; empty for a
    // decoder that does not keep them or does not produce that order.
    virtual std::span<const std::uint8_t> LastBgrxPixels() const { return {}; }
    // The last decode's pixels as red, green, blue bytes; empty likewise.
    virtual std::span<const std::uint8_t> LastRgbPixels() const { return {}; }
    // Pictures that one Decode decodes.
    virtual int PicturesPerDecode() const { return 1; }
};

// Two decoders of one kind decoding the file at the same time, the second
// on a thread of its own ("2x" before the first's name): what two cores of
// the machine give two decodes that each use one. A decode split over two
// threads does the work of one such decode, so it can go no faster than
// this per picture. The second decode runs on one of the library's parked
// worker threads, as a two-thread decode's worker does.
class TwoAtOnceDecoder final : public PeerDecoder {
  public:
    TwoAtOnceDecoder(std::unique_ptr<PeerDecoder> first, std::unique_ptr<PeerDecoder> second);
    const char* Name() const override { return name.c_str(); }
    // The first decoder's size (both decode the same file).
    PictureSize Decode(std::span<const std::uint8_t> file) override;
    int PicturesPerDecode() const override { return 2; }

  private:
    std::unique_ptr<PeerDecoder> first, second;
    std::string name;
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

// The library's public interface in RGB order: a JpegReader per picture,
// its rows read into one buffer that is reused from picture to picture.
// (DecodeJpeg is the same reader filling a new Image each time.) The pixels
// and threads of the options; the processor's best kernels, whatever --simd
// says: the interface does not choose them. Named "tessera-rgb" for the
// default pixels (Pixels::Smooth: libjpeg-turbo's defaults), "tessera-exact"
// for Pixels::Exact (the saver's arithmetic), with "-2t" for two threads.
class TesseraRgbDecoder final : public PeerDecoder {
  public:
    explicit TesseraRgbDecoder(Tessera::Pixels pixels = Tessera::Pixels::Smooth,
                               std::uint32_t threads = 1);
    const char* Name() const override { return name.c_str(); }
    PictureSize Decode(std::span<const std::uint8_t> file) override;
    std::span<const std::uint8_t> LastRgbPixels() const override { return output; }

  private:
    Tessera::DecodeOptions options;
    std::string name;
    std::vector<std::uint8_t> output;
};

// How TurboJPEG is asked to decode.
enum class TurboPixels {
    // TJPF_BGRX with TJFLAG_FASTUPSAMPLE: Tessera's native order, chroma
    // repeated ("turbo").
    FastBgrx,
    // TJPF_RGB with no flags: libjpeg-turbo's defaults, chroma up-sampled
    // smoothly ("turbo-rgb").
    DefaultRgb,
    // TJPF_RGB with TJFLAG_FASTUPSAMPLE: chroma repeated ("turbo-fast").
    FastRgb,
};

// libjpeg-turbo through the TurboJPEG API: one handle for every decode,
// tjDecompress2 with the default (accurate integer) IDCT into an output
// buffer that is reused.
class TurboDecoder final : public PeerDecoder {
  public:
    explicit TurboDecoder(TurboPixels pixels = TurboPixels::FastBgrx);
    ~TurboDecoder() override;
    TurboDecoder(const TurboDecoder&) = delete;
    TurboDecoder& operator=(const TurboDecoder&) = delete;

    const char* Name() const override;
    PictureSize Decode(std::span<const std::uint8_t> file) override;
    std::span<const std::uint8_t> LastBgrxPixels() const override {
        return pixels == TurboPixels::FastBgrx ? output : std::span<const std::uint8_t>();
    }
    std::span<const std::uint8_t> LastRgbPixels() const override {
        return pixels != TurboPixels::FastBgrx ? output : std::span<const std::uint8_t>();
    }

  private:
    TurboPixels pixels;
    void* handle;  // tjhandle
    std::vector<std::uint8_t> output;
};

// stb_image: stbi_load_from_memory with 4 channels ("stb": stb_image cannot
// produce blue-first pixels, so RGBA) or 3 ("stb-rgb"). It allocates a new
// buffer for every picture (freed again in Decode) and keeps no pixels for
// comparison.
class StbDecoder final : public PeerDecoder {
  public:
    explicit StbDecoder(int channels = 4) : channels(channels) {}
    const char* Name() const override { return channels == 4 ? "stb" : "stb-rgb"; }
    PictureSize Decode(std::span<const std::uint8_t> file) override;

  private:
    int channels;
};

}  // namespace TesseraBench
