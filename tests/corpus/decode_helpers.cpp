#include "decode_helpers.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cjpeg_corpus.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/memory_stream.h"

namespace TesseraTest {

DecodeOutcome Decode(const std::vector<std::uint8_t>& bytes, Tessera::RasterImage& image,
                     Tessera::SimdLevel level) {
    Tessera::MemoryStream stream(bytes);
    Tessera::JpegDecoder decoder;
    decoder.SetSimdLevel(level);
    try {
        decoder.DecodeStream(stream, image);
        return {};
    } catch (const Tessera::JpegDecoder::JpegBadStream& e) {
        return {"JpegBadStream", e.what()};
    } catch (const Tessera::JpegDecoder::JpegError& e) {
        return {"JpegError", e.what()};
    } catch (const Tessera::InputByteStream::StreamError& e) {
        return {"StreamError", e.what()};
    }
}

Picture ToPicture(const Tessera::RasterImage& image, int channels) {
    Picture picture{image.Width(), image.Height(), channels, {}};
    const std::size_t count = static_cast<std::size_t>(image.Width()) * image.Height();
    picture.samples.reserve(count * channels);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t pixel = image.Pixels()[i];
        if (channels == 1) {
            picture.samples.push_back(static_cast<std::uint8_t>(pixel));
        } else {
            picture.samples.push_back(static_cast<std::uint8_t>(pixel >> 16));
            picture.samples.push_back(static_cast<std::uint8_t>(pixel >> 8));
            picture.samples.push_back(static_cast<std::uint8_t>(pixel));
        }
    }
    return picture;
}

std::vector<std::string> SharedJpegFiles() {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    const std::string shared = SharedDirectory();
    if (shared.empty() || !fs::is_directory(fs::path(shared) / "corpus")) return files;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(shared) / "corpus")) {
        const std::string extension = entry.path().extension().string();
        if (entry.is_regular_file() && (extension == ".jpg" || extension == ".jpeg"))
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::optional<Picture> DjpegOf(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    const auto directory = std::filesystem::temp_directory_path();
    const auto input = directory / ("tessera-" + name + ".jpg");
    const auto output = directory / ("tessera-" + name + ".ppm");
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    // Exit status 2: decoded with warnings (a cut-off file).
    const bool decoded = RunQuietly("djpeg -outfile " + ShellQuote(output.string()) + " " +
                                    ShellQuote(input.string()) + " || test $? -eq 2");
    std::optional<Picture> picture = decoded ? ReadNetpbm(output.string()) : std::nullopt;
    std::filesystem::remove(input);
    std::filesystem::remove(output);
    return picture;
}

std::uint64_t Digest(const Tessera::RasterImage& image) {
    constexpr std::uint64_t kOffsetBasis = 14695981039346656037ull;
    constexpr std::uint64_t kPrime = 1099511628211ull;
    std::uint64_t hash = kOffsetBasis;
    auto add = [&hash](std::uint8_t byte) { hash = (hash ^ byte) * kPrime; };
    for (int value : {image.Width(), image.Height()})
        for (int shift = 0; shift < 32; shift += 8) add(static_cast<std::uint8_t>(value >> shift));
    const std::size_t count = static_cast<std::size_t>(image.Width()) * image.Height();
    for (std::size_t i = 0; i < count; ++i)
        for (int shift = 0; shift < 32; shift += 8)
            add(static_cast<std::uint8_t>(image.Pixels()[i] >> shift));
    return hash;
}

Difference Compare(const Picture& ours, const Picture& reference) {
    Difference d;
    long long total = 0;
    for (std::size_t i = 0; i < ours.samples.size(); ++i) {
        const int delta = std::abs(int(ours.samples[i]) - int(reference.samples[i]));
        d.maximum = std::max(d.maximum, delta);
        total += delta;
    }
    d.mean = ours.samples.empty() ? 0 : double(total) / double(ours.samples.size());
    return d;
}

}  // namespace TesseraTest
