#include "peer_decoders.h"

#include <stb/stb_image.h>
#include <turbojpeg.h>

#include <climits>
#include <exception>
#include <string>
#include <utility>

#include "bench_error.h"
#include "jpeg/memory_stream.h"
#include "jpeg/worker_threads.h"

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

namespace {

std::string ReaderName(Tessera::Pixels pixels, std::uint32_t threads) {
    std::string name = pixels == Tessera::Pixels::Smooth  ? "tessera-rgb"
                       : pixels == Tessera::Pixels::Exact ? "tessera-exact"
                                                          : "tessera-replicated";
    // (Appended piece by piece: GCC 12 warns falsely about "literal" +
    // std::string under -O3.)
    if (threads != 1) {
        name += '-';
        name += std::to_string(threads);
        name += 't';
    }
    return name;
}

}  // namespace

TwoAtOnceDecoder::TwoAtOnceDecoder(std::unique_ptr<PeerDecoder> first,
                                   std::unique_ptr<PeerDecoder> second)
    : first(std::move(first)),
      second(std::move(second)),
      name(std::string("2x") + this->first->Name()) {}

PictureSize TwoAtOnceDecoder::Decode(std::span<const std::uint8_t> file) {
    std::exception_ptr failure;
    PictureSize size;
    {
        Tessera::WorkerTask other([&] {
            try {
                second->Decode(file);
            } catch (...) {
                failure = std::current_exception();
            }
        });
        size = first->Decode(file);  // a failure waits for the other decode as it leaves
    }
    if (failure) std::rethrow_exception(failure);
    return size;
}

TesseraRgbDecoder::TesseraRgbDecoder(Tessera::Pixels pixels, std::uint32_t threads)
    : options{.format = Tessera::PixelFormat::Rgb, .pixels = pixels, .threads = threads},
      name(ReaderName(pixels, threads)) {}

PictureSize TesseraRgbDecoder::Decode(std::span<const std::uint8_t> file) {
    try {
        Tessera::JpegReader reader(file.data(), file.size(), options);
        const std::size_t rowBytes = reader.RowBytes();
        output.resize(rowBytes * reader.Height());
        std::size_t row = 0;
        while (const std::size_t rows =
                   reader.ReadRows(output.data() + row * rowBytes, reader.Height() - row))
            row += rows;
        if (reader.Width() == 0 || reader.Height() == 0)
            throw BenchError("the file holds no picture");
        return {static_cast<int>(reader.Width()), static_cast<int>(reader.Height())};
    } catch (const Tessera::GraphicsException& error) {
        throw BenchError(std::string("JpegReader: ") + error.what());
    } catch (const Tessera::StreamError& error) {
        throw BenchError(std::string("JpegReader: ") + error.what());
    }
}

TurboDecoder::TurboDecoder(TurboPixels pixels) : pixels(pixels), handle(tjInitDecompress()) {
    if (handle == nullptr) throw BenchError("TurboJPEG: tjInitDecompress failed");
}

TurboDecoder::~TurboDecoder() {
    tjDestroy(handle);
}

const char* TurboDecoder::Name() const {
    switch (pixels) {
        case TurboPixels::FastBgrx:
            return "turbo";
        case TurboPixels::DefaultRgb:
            return "turbo-rgb";
        case TurboPixels::FastRgb:
            return "turbo-fast";
    }
    return "turbo?";
}

PictureSize TurboDecoder::Decode(std::span<const std::uint8_t> file) {
    if (file.size() > ULONG_MAX) throw BenchError("TurboJPEG: file too large");
    const auto size = static_cast<unsigned long>(file.size());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle, file.data(), size, &width, &height, &subsampling,
                            &colourspace) != 0)
        throw BenchError(std::string("TurboJPEG: ") + tjGetErrorStr2(handle));
    const int format = pixels == TurboPixels::FastBgrx ? TJPF_BGRX : TJPF_RGB;
    const int flags = pixels == TurboPixels::DefaultRgb ? 0 : TJFLAG_FASTUPSAMPLE;
    output.resize(static_cast<std::size_t>(width) * height * tjPixelSize[format]);
    if (tjDecompress2(handle, file.data(), size, output.data(), width, 0, height, format, flags) !=
        0)
        throw BenchError(std::string("TurboJPEG: ") + tjGetErrorStr2(handle));
    return {width, height};
}

PictureSize StbDecoder::Decode(std::span<const std::uint8_t> file) {
    if (file.size() > INT_MAX) throw BenchError("stb_image: file too large");
    int width = 0, height = 0, fileChannels = 0;
    stbi_uc* pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &width,
                                            &height, &fileChannels, channels);
    if (pixels == nullptr) {
        const char* reason = stbi_failure_reason();
        throw BenchError(std::string("stb_image: ") + (reason != nullptr ? reason : "failed"));
    }
    stbi_image_free(pixels);
    return {width, height};
}

}  // namespace TesseraBench
