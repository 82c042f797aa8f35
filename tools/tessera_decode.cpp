// tessera-decode: decodes a JPEG file into PPM, BMP or PNG, or reports its frame.
//
//   tessera-decode [--partial] INPUT OUTPUT   OUTPUT's extension picks the format;
//                                             "-" writes PPM to standard output
//   tessera-decode --info INPUT               prints WIDTH HEIGHT COMPONENTS KIND
//
// Exit status: 0 success, 1 the decoder rejected the file, 2 usage errors,
// unreadable input, unwritable output and running out of memory.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "image/raster_image.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/memory_stream.h"
#include "tools/image_writers.h"

namespace {

using Tessera::InputByteStream;
using Tessera::JpegDecoder;
using Tessera::RasterImage;

constexpr std::string_view kProgram = "tessera-decode";
constexpr std::string_view kUsage =
    "usage: tessera-decode [--partial] INPUT OUTPUT.ppm|OUTPUT.bmp|OUTPUT.png|-\n"
    "       tessera-decode --info INPUT\n";

constexpr int kExitSuccess = 0;
constexpr int kExitDecodeFailure = 1;
constexpr int kExitTrouble = 2;

enum class Mode { Decode, Info, Help };
enum class OutputFormat { Ppm, Bmp, Png };

struct Options {
    Mode mode = Mode::Decode;
    bool partial = false;
    std::string input;
    std::string output;  // "-" is standard output
    OutputFormat format = OutputFormat::Ppm;
    std::string usageError;  // set when the command line is not usable
};

std::string Lowercase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

// The format that OUTPUT names, or an explanation of why it names none.
std::optional<OutputFormat> FormatFor(const std::string& output, std::string& error) {
    if (output == "-") return OutputFormat::Ppm;
    const std::string extension = Lowercase(std::filesystem::path(output).extension().string());
    if (extension == ".ppm") return OutputFormat::Ppm;
    if (extension == ".bmp") return OutputFormat::Bmp;
    if (extension == ".png") {
        if (Tessera::PngAvailable()) return OutputFormat::Png;
        error = "PNG output is not available in this build";
        return std::nullopt;
    }
    error = "unknown output format for '" + output + "' (use .ppm, .bmp, .png or -)";
    return std::nullopt;
}

Options ParseArguments(std::span<const std::string_view> arguments) {
    Options options;
    bool info = false;
    std::vector<std::string_view> positional;
    for (const std::string_view argument : arguments) {
        if (argument == "--partial") {
            options.partial = true;
        } else if (argument == "--info") {
            info = true;
        } else if (argument == "--help" || argument == "-h") {
            options.mode = Mode::Help;
            return options;
        } else if (argument.size() > 1 && argument.front() == '-') {
            options.usageError = "unknown option '" + std::string(argument) + "'";
            return options;
        } else {
            positional.push_back(argument);
        }
    }

    if (info) {
        options.mode = Mode::Info;
        if (options.partial)
            options.usageError = "--partial does not go with --info";
        else if (positional.size() != 1)
            options.usageError = "--info takes exactly one INPUT";
        else
            options.input = positional[0];
        return options;
    }
    if (positional.size() != 2) {
        options.usageError = "expected INPUT and OUTPUT";
        return options;
    }
    options.input = positional[0];
    options.output = positional[1];
    if (const auto format = FormatFor(options.output, options.usageError)) options.format = *format;
    return options;
}

void ReportLine(std::string_view text) {
    std::cerr << kProgram << ": " << text << '\n';
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                       std::string& reason) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[1 << 16];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno;
    std::fclose(file);
    if (failed) {
        reason = std::strerror(readErrno);
        return std::nullopt;
    }
    return bytes;
}

struct DecodeFailure {
    std::string message;
    std::string_view type;
};

// Decodes the bytes into the image. On failure the image holds what the
// decoder had refreshed it with. Running out of memory passes through.
std::optional<DecodeFailure> Decode(std::span<const std::uint8_t> bytes, JpegDecoder& decoder,
                                    RasterImage& image) {
    Tessera::MemoryStream stream(bytes);
    try {
        decoder.DecodeStream(stream, image);
    } catch (const JpegDecoder::JpegBadStream& error) {
        return DecodeFailure{error.what(), "JpegBadStream"};
    } catch (const JpegDecoder::JpegError& error) {
        return DecodeFailure{error.what(), "JpegError"};
    } catch (const InputByteStream::StreamError& error) {
        return DecodeFailure{error.what(), "StreamError"};
    }
    return std::nullopt;
}

bool HasPicture(const RasterImage& image) {
    return image.Width() > 0 && image.Height() > 0;
}

// The code of the first SOF0, SOF1 or SOF2 marker, found by walking the
// segments as the decoder does: stray bytes between segments and fill bytes
// before a code are passed over, and each segment is skipped by its length.
std::optional<std::uint8_t> FindFrameMarker(std::span<const std::uint8_t> bytes) {
    constexpr std::uint8_t kPrefix = 0xFF;
    std::size_t at = 2;  // past SOI
    while (at < bytes.size()) {
        if (bytes[at] != kPrefix) {
            ++at;
            continue;
        }
        while (at < bytes.size() && bytes[at] == kPrefix) ++at;
        if (at >= bytes.size()) break;
        const std::uint8_t code = bytes[at++];
        if (code >= 0xC0 && code <= 0xC2) return code;
        if (code == 0xD8 || (code >= 0xD0 && code <= 0xD7) || code == 0x01)
            continue;                             // markers without a segment
        if (code == 0xD9 || code == 0xDA) break;  // EOI or a scan before any frame
        if (at + 2 > bytes.size()) break;
        const std::size_t length = std::size_t{bytes[at]} << 8 | bytes[at + 1];
        at += length < 2 ? 2 : length;
    }
    return std::nullopt;
}

std::string_view FrameKind(const JpegDecoder& decoder, std::span<const std::uint8_t> bytes) {
    if (decoder.ProgressiveFrame()) return "progressive";
    return FindFrameMarker(bytes) == 0xC1 ? "extended" : "baseline";
}

bool WriteImage(const RasterImage& image, OutputFormat format, std::ostream& out) {
    switch (format) {
        case OutputFormat::Ppm:
            return Tessera::WritePpm(image, out);
        case OutputFormat::Bmp:
            return Tessera::WriteBmp(image, out);
        case OutputFormat::Png:
            return Tessera::WritePng(image, out);
    }
    return false;
}

// A name beside the output for writing into before the final rename, so that
// no half-written file ever carries the output's name.
std::filesystem::path TemporaryNameFor(const std::filesystem::path& output) {
    std::random_device random;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".tmp%08x", static_cast<unsigned>(random()));
    std::filesystem::path temporary = output;
    temporary += suffix;
    return temporary;
}

// Writes the image to the output; on failure reports it and returns false.
bool WriteOutput(const Options& options, const RasterImage& image) {
    if (options.output == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        if (WriteImage(image, options.format, std::cout)) return true;
        ReportLine("cannot write to standard output");
        return false;
    }

    const std::filesystem::path output(options.output);
    const std::filesystem::path temporary = TemporaryNameFor(output);
    std::error_code ignored;
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file) {
            ReportLine("cannot write " + options.output + ": " + std::strerror(errno));
            return false;
        }
        const bool written = WriteImage(image, options.format, file);
        file.close();
        if (!written || !file) {
            std::filesystem::remove(temporary, ignored);
            ReportLine("cannot write " + options.output);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, output, error);
    if (error) {
        std::filesystem::remove(temporary, ignored);
        ReportLine("cannot write " + options.output + ": " + error.message());
        return false;
    }
    return true;
}

int Run(const Options& options) {
    std::string reason;
    const auto bytes = ReadWholeFile(options.input, reason);
    if (!bytes) {
        ReportLine("cannot read " + options.input + ": " + reason);
        return kExitTrouble;
    }

    JpegDecoder decoder;
    RasterImage image;
    if (const auto failure = Decode(*bytes, decoder, image)) {
        ReportLine(options.input + ": " + failure->message + " (" + std::string(failure->type) +
                   ")");
        if (options.mode == Mode::Decode && options.partial && HasPicture(image) &&
            !WriteOutput(options, image))
            return kExitTrouble;
        return kExitDecodeFailure;
    }
    // A stream can end properly without ever defining a frame.
    if (!HasPicture(image)) {
        ReportLine(options.input + ": the file holds no picture");
        return kExitDecodeFailure;
    }

    if (options.mode == Mode::Info) {
        std::cout << decoder.PictureWidth() << ' ' << decoder.PictureHeight() << ' '
                  << decoder.FrameComponentCount() << ' ' << FrameKind(decoder, *bytes) << '\n';
        std::cout.flush();
        return std::cout ? kExitSuccess : kExitTrouble;
    }
    return WriteOutput(options, image) ? kExitSuccess : kExitTrouble;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const Options options = ParseArguments(arguments);
    if (!options.usageError.empty()) {
        ReportLine(options.usageError);
        std::cerr << kUsage;
        return kExitTrouble;
    }
    if (options.mode == Mode::Help) {
        std::cout << kUsage;
        return kExitSuccess;
    }
    try {
        return Run(options);
    } catch (const std::bad_alloc&) {
        ReportLine(options.input + ": out of memory");
    } catch (const std::exception& error) {
        ReportLine(options.input + ": unexpected failure: " + error.what());
    }
    return kExitTrouble;
}
