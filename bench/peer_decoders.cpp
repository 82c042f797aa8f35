#include "peer_decoders.h"

#include <stb/stb_image.h>
#include <turbojpeg.h>

#include <climits>
#include <string>

#include "bench_error.h"
#include "jpeg/memory_stream.h"

namespace TesseraBench {

PictureSize TesseraDecoder::Decode(std::span<const std::uint8_t> file) {
    Tessera::MemoryStream stream(file);
    try {
        decoder.DecodeStream(stream, image);
    } catch (const Tessera::JpegDecoder::JpegError& error) {
        throw BenchError(std::string("JpegError: ") + error.what());
    } catch (const Tessera::InputByteStream::StreamError& error) {
        throw BenchError(std::string("StreamError: ") + error.what());
    }
    if (image.Width() <= 0 || image.Height() <= 0) throw BenchError("the file holds no picture");
    return {image.Width(), image.Height()};
}

std::span<const std::uint8_t> TesseraDecoder::LastBgrxPixels() const {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(image.Pixels());
    return {bytes, static_cast<std::size_t>(image.Width()) * image.Height() * 4};
}

TurboDecoder::TurboDecoder() : handle(tjInitDecompress()) {
    if (handle == nullptr) throw BenchError("TurboJPEG: tjInitDecompress failed");
}

TurboDecoder::~TurboDecoder() {
    tjDestroy(handle);
}

PictureSize TurboDecoder::Decode(std::span<const std::uint8_t> file) {
    if (file.size() > ULONG_MAX) throw BenchError("TurboJPEG: file too large");
    const auto size = static_cast<unsigned long>(file.size());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle, file.data(), size, &width, &height, &subsampling,
                            &colourspace) != 0)
        throw BenchError(std::string("TurboJPEG: ") + tjGetErrorStr2(handle));
    output.resize(static_cast<std::size_t>(width) * height * tjPixelSize[TJPF_BGRX]);
    if (tjDecompress2(handle, file.data(), size, output.data(), width, 0, height, TJPF_BGRX,
                      TJFLAG_FASTUPSAMPLE) != 0)
        throw BenchError(std::string("TurboJPEG: ") + tjGetErrorStr2(handle));
    return {width, height};
}

PictureSize StbDecoder::Decode(std::span<const std::uint8_t> file) {
    if (file.size() > INT_MAX) throw BenchError("stb_image: file too large");
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &width,
                                            &height, &channels, 4);
    if (pixels == nullptr) {
        const char* reason = stbi_failure_reason();
        throw BenchError(std::string("stb_image: ") + (reason != nullptr ? reason : "failed"));
    }
    stbi_image_free(pixels);
    return {width, height};
}

}  // namespace TesseraBench
