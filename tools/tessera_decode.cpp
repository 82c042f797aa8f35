// tessera-decode: decodes a JPEG file into PPM, BMP, PNG or raw rows, or
// reports its frame.
//
//   tessera-decode [OPTIONS] INPUT OUTPUT     OUTPUT's extension picks the
//                                             format; "-" writes PPM to
//                                             standard output
//   tessera-decode [OPTIONS] --info INPUT     prints WIDTH HEIGHT COMPONENTS KIND
//
// (kUsage lists the options.)
//
// Pictures are read through the library's JpegReader, a few rows at a time,
// and written as they come (a BMP, stored bottom-up, is written at the end).
//
// What a tolerant decode repaired (a cut-off file, damaged restart intervals,
// data after EOI, a missing table) is printed as "warning: ..." lines on
// standard error; the decode still succeeds.
//
// Exit status: 0 success, 1 the decoder rejected the file, 2 usage errors,
// unreadable input, unwritable output and running out of memory.
#include <algorithm>
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
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "tessera/jpeg.h"
#include "tools/image_writers.h"

namespace {

constexpr std::string_view kProgram = "tessera-decode";
constexpr std::string_view kUsage =
    "usage: tessera-decode [OPTIONS] INPUT OUTPUT.ppm|OUTPUT.bmp|OUTPUT.png|OUTPUT.raw|-\n"
    "       tessera-decode [OPTIONS] --info INPUT\n"
    "options:\n"
    "  --strict          the screen saver's decoder exactly\n"
    "  --partial         keep the picture as far as it was decoded after a failure\n"
    "  --format LAYOUT   the rows of .raw output: rgb (the default), bgr, rgba, bgra,\n"
    "                    rgbx, bgrx, grey or cmyk; other outputs take rgb only\n"
    "  --orient          turn the picture upright by its Exif orientation\n"
    "  --icc FILE        write the picture's ICC profile into FILE (PNG output\n"
    "                    carries it in any case)\n"
    "  -scale M/N        decode at M/N of the size (up to the next eighth)\n"
    "  -crop WxH+X+Y     decode exactly this rectangle (not widened to whole blocks)\n"
    "  -nosmooth         repeat chroma samples rather than interpolate them\n"
    "  --exact           the screen saver's own arithmetic\n"
    "  --threads N       decode on at most N threads, N >= 1 (by default one per\n"
    "                    core); --strict decodes use one\n";

constexpr int kExitSuccess = 0;
constexpr int kExitDecodeFailure = 1;
constexpr int kExitTrouble = 2;

// Rows asked of the reader at a time: a row of the largest MCUs.
constexpr std::size_t kRowsAtATime = 32;

enum class Mode { Decode, Info, Help };
using Tessera::PictureFormat;

struct Options {
    Mode mode = Mode::Decode;
    bool partial = false;
    Tessera::DecodeOptions decode{.format = Tessera::PixelFormat::Rgb};
    bool layoutGiven = false;   // --format
    bool threadsGiven = false;  // --threads
    std::string iccFile;        // --icc
    std::string input;
    std::string output;  // "-" is standard output
    PictureFormat format = PictureFormat::Ppm;
    std::string usageError;  // set when the command line is not usable
};

struct LayoutName {
    std::string_view name;
    Tessera::PixelFormat format;
};
constexpr LayoutName kLayouts[] = {
    {"rgb", Tessera::PixelFormat::Rgb},   {"bgr", Tessera::PixelFormat::Bgr},
    {"rgba", Tessera::PixelFormat::Rgba}, {"bgra", Tessera::PixelFormat::Bgra},
    {"rgbx", Tessera::PixelFormat::Rgbx}, {"bgrx", Tessera::PixelFormat::Bgrx},
    {"grey", Tessera::PixelFormat::Grey}, {"cmyk", Tessera::PixelFormat::Cmyk},
};

// Unsigned decimal numbers, the whole text.
std::optional<unsigned> Number(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

// M/N with both above 0.
std::optional<Tessera::Scale> ParseScale(std::string_view text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const auto numerator = Number(text.substr(0, slash));
    const auto denominator = Number(text.substr(slash + 1));
    if (!numerator || !denominator || *numerator == 0 || *denominator == 0) return std::nullopt;
    return Tessera::Scale{*numerator, *denominator};
}

// WxH+X+Y, as djpeg spells it; width and height above 0.
std::optional<Tessera::Region> ParseCrop(std::string_view text) {
    const std::size_t x = text.find('x'), plus = text.find('+');
    if (x == std::string_view::npos || plus == std::string_view::npos || plus < x)
        return std::nullopt;
    const std::size_t secondPlus = text.find('+', plus + 1);
    if (secondPlus == std::string_view::npos) return std::nullopt;
    const auto width = Number(text.substr(0, x));
    const auto height = Number(text.substr(x + 1, plus - x - 1));
    const auto left = Number(text.substr(plus + 1, secondPlus - plus - 1));
    const auto top = Number(text.substr(secondPlus + 1));
    if (!width || !height || !left || !top || *width == 0 || *height == 0) return std::nullopt;
    return Tessera::Region{*left, *top, *width, *height};
}

std::string Lowercase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

// The format that OUTPUT names, or an explanation of why it names none.
std::optional<PictureFormat> FormatFor(const std::string& output, std::string& error) {
    if (output == "-") return PictureFormat::Ppm;
    const std::string extension = Lowercase(std::filesystem::path(output).extension().string());
    if (extension == ".ppm") return PictureFormat::Ppm;
    if (extension == ".bmp") return PictureFormat::Bmp;
    if (extension == ".raw") return PictureFormat::Raw;
    if (extension == ".png") {
        if (Tessera::PngAvailable()) return PictureFormat::Png;
        error = "PNG output is not available in this build";
        return std::nullopt;
    }
    error = "unknown output format for '" + output + "' (use .ppm, .bmp, .png, .raw or -)";
    return std::nullopt;
}

// One thread per core, or one where the system cannot tell.
std::uint32_t DefaultThreads() {
    return std::max(1u, std::thread::hardware_concurrency());
}

Options ParseArguments(std::span<const std::string_view> arguments) {
    Options options;
    bool info = false;
    std::vector<std::string_view> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        // The options that take a value: the next argument.
        const bool takesValue = argument == "--format" || argument == "--icc" ||
                                argument == "-scale" || argument == "-crop" ||
                                argument == "--threads";
        if (takesValue && i + 1 == arguments.size()) {
            options.usageError = std::string(argument) + " needs a value";
            return options;
        }
        const std::string_view value = takesValue ? arguments[++i] : std::string_view();
        if (argument == "--format") {
            const auto* layout = std::find_if(std::begin(kLayouts), std::end(kLayouts),
                                              [&](const LayoutName& l) { return l.name == value; });
            if (layout == std::end(kLayouts)) {
                options.usageError = "unknown layout '" + std::string(value) + "'";
                return options;
            }
            options.decode.format = layout->format;
            options.layoutGiven = true;
        } else if (argument == "--icc") {
            options.iccFile = value;
        } else if (argument == "-scale") {
            const auto scale = ParseScale(value);
            if (!scale) {
                options.usageError = "-scale takes M/N, not '" + std::string(value) + "'";
                return options;
            }
            options.decode.scale = *scale;
        } else if (argument == "-crop") {
            const auto region = ParseCrop(value);
            if (!region) {
                options.usageError = "-crop takes WxH+X+Y, not '" + std::string(value) + "'";
                return options;
            }
            options.decode.region = *region;
        } else if (argument == "--threads") {
            const auto threads = Number(value);
            if (!threads || *threads == 0) {
                options.usageError = "--threads takes a whole number of at least 1, not '" +
                                     std::string(value) + "'";
                return options;
            }
            options.decode.threads = *threads;
            options.threadsGiven = true;
        } else if (argument == "-nosmooth") {
            options.decode.pixels = Tessera::Pixels::Replicated;
        } else if (argument == "--exact") {
            options.decode.pixels = Tessera::Pixels::Exact;
        } else if (argument == "--orient") {
            options.decode.applyOrientation = true;
        } else if (argument == "--partial") {
            options.partial = true;
        } else if (argument == "--strict") {
            options.decode.strict = true;
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

    // Every core unless told otherwise; the saver's decoder runs on one.
    if (!options.threadsGiven) options.decode.threads = DefaultThreads();
    if (options.decode.strict) options.decode.threads = 1;

    if (info) {
        options.mode = Mode::Info;
        if (options.partial)
            options.usageError = "--partial does not go with --info";
        else if (options.layoutGiven)
            options.usageError = "--format does not go with --info";
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
    if (options.layoutGiven && options.format != PictureFormat::Raw &&
        options.decode.format != Tessera::PixelFormat::Rgb)
        options.usageError = "--format other than rgb needs .raw output";
    return options;
}

void ReportLine(std::string_view text) {
    std::cerr << kProgram << ": " << text << '\n';
}

// The whole file, read into a buffer of its exact size where the file says
// its size (no spare capacity: the file is most of what the tool holds).
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                       std::string& reason) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::error_code sizeError;
    const auto size = std::filesystem::file_size(path, sizeError);
    if (!sizeError) bytes.reserve(static_cast<std::size_t>(size));
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

// A decode failure as the tool reports it: the message and the class.
struct DecodeFailure {
    std::string message;
    std::string_view type;
};

// Runs the step, turning the library's exceptions into a failure; running
// out of memory passes through.
template <typename Step>
std::optional<DecodeFailure> Guarded(Step step) {
    try {
        step();
    } catch (const Tessera::JpegBadStream& error) {
        return DecodeFailure{error.what(), "JpegBadStream"};
    } catch (const Tessera::JpegError& error) {
        return DecodeFailure{error.what(), "JpegError"};
    } catch (const Tessera::StreamError& error) {
        return DecodeFailure{error.what(), "StreamError"};
    }
    return std::nullopt;
}

void ReportFailure(const Options& options, const DecodeFailure& failure) {
    ReportLine(options.input + ": " + failure.message + " (" + std::string(failure.type) + ")");
}

// What a tolerant decode repaired, a line each on standard error; the
// decode still succeeds.
void ReportWarnings(const Options& options, const Tessera::JpegReader& reader) {
    for (const Tessera::Warning& warning : reader.Warnings())
        std::cerr << "warning: " << options.input << ": " << warning.text << " ("
                  << Tessera::ErrorMessage(warning.code) << ")\n";
}

// --icc FILE: the profile's bytes; a picture without one writes no file
// and says so. False (reported) when the file cannot be written.
bool WriteIccProfile(const Options& options, const Tessera::JpegReader& reader) {
    if (options.iccFile.empty()) return true;
    const std::vector<std::uint8_t>& profile = reader.IccProfile();
    if (profile.empty()) {
        std::cerr << "warning: " << options.input << ": no ICC profile: " << options.iccFile
                  << " not written\n";
        return true;
    }
    std::ofstream file(options.iccFile, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(profile.data()),
               static_cast<std::streamsize>(profile.size()));
    file.close();
    if (file) return true;
    ReportLine("cannot write " + options.iccFile);
    return false;
}

bool HasPicture(const Tessera::JpegInfo& info) {
    return info.width > 0 && info.height > 0;
}

std::string_view FrameKind(const Tessera::JpegInfo& info) {
    if (info.progressive) return "progressive";
    return info.extended ? "extended" : "baseline";
}

// Where the picture goes: standard output, or a temporary name beside the
// output that is renamed at the end, so that no half-written file ever
// carries the output's name.
class Destination {
  public:
    explicit Destination(const std::string& output) : output(output) {}
    ~Destination() { Abandon(); }
    Destination(const Destination&) = delete;
    Destination& operator=(const Destination&) = delete;

    // The stream to write into; null (reported) when it cannot be opened.
    std::ostream* Open() {
        if (output == "-") {
#ifdef _WIN32
            _setmode(_fileno(stdout), _O_BINARY);
#endif
            return &std::cout;
        }
        temporary = TemporaryNameFor(output);
        file.open(temporary, std::ios::binary | std::ios::trunc);
        if (!file) {
            ReportLine("cannot write " + output + ": " + std::strerror(errno));
            temporary.clear();
            return nullptr;
        }
        return &file;
    }
    // Gives the written picture the output's name; false (reported) when
    // the writing failed or the rename does.
    bool Commit(bool written) {
        if (output == "-") {
            if (written && std::cout.flush()) return true;
            ReportLine("cannot write to standard output");
            return false;
        }
        file.close();
        if (!written || !file) {
            ReportLine("cannot write " + output);
            return false;
        }
        std::error_code error;
        std::filesystem::rename(temporary, output, error);
        if (error) {
            ReportLine("cannot write " + output + ": " + error.message());
            return false;
        }
        temporary.clear();
        return true;
    }

  private:
    void Abandon() {
        if (temporary.empty()) return;
        file.close();
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
    }
    static std::filesystem::path TemporaryNameFor(const std::filesystem::path& path) {
        std::random_device random;
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".tmp%08x", static_cast<unsigned>(random()));
        std::filesystem::path name = path;
        name += suffix;
        return name;
    }

    std::string output;
    std::filesystem::path temporary;
    std::ofstream file;
};

// Reads every row (into rows, a buffer of kRowsAtATime rows) and hands each
// batch to `take`; true when take never failed. Stops at the first decode
// failure, which it stores; with `afterFailure` it goes on to the end, the
// rest of the rows as far as the picture was decoded.
template <typename Take>
bool ReadAllRows(Tessera::JpegReader& reader, std::vector<std::uint8_t>& rows,
                 std::optional<DecodeFailure>& failure, bool afterFailure, Take take) {
    for (;;) {
        std::size_t count = 0;
        if (auto error = Guarded([&] { count = reader.ReadRows(rows.data(), kRowsAtATime); })) {
            failure = std::move(error);
            if (!afterFailure) return true;
            continue;  // the reader now hands out what it has, without failing
        }
        if (count == 0) return true;
        if (!take(rows.data(), count)) return false;
    }
}

int Run(const Options& options) {
    std::string reason;
    const auto bytes = ReadWholeFile(options.input, reason);
    if (!bytes) {
        ReportLine("cannot read " + options.input + ": " + reason);
        return kExitTrouble;
    }

    std::optional<Tessera::JpegReader> reader;
    // A failure here comes before the frame header: there is no picture to keep.
    if (const auto failure =
            Guarded([&] { reader.emplace(bytes->data(), bytes->size(), options.decode); })) {
        ReportFailure(options, *failure);
        return kExitDecodeFailure;
    }
    const Tessera::JpegInfo info = reader->Info();
    std::vector<std::uint8_t> rows(kRowsAtATime * reader->RowBytes());
    std::optional<DecodeFailure> failure;

    // --info and pictures without pixels still decode the whole file.
    if (options.mode == Mode::Info || !HasPicture(info)) {
        ReadAllRows(*reader, rows, failure, false,
                    [](const std::uint8_t*, std::size_t) { return true; });
        ReportWarnings(options, *reader);
        if (failure) {
            ReportFailure(options, *failure);
            return kExitDecodeFailure;
        }
        if (!HasPicture(info)) {
            // A stream can end properly without ever defining a frame.
            ReportLine(options.input + ": the file holds no picture");
            return kExitDecodeFailure;
        }
        if (!WriteIccProfile(options, *reader)) return kExitTrouble;
        std::cout << info.width << ' ' << info.height << ' ' << info.components << ' '
                  << FrameKind(info) << '\n';
        std::cout.flush();
        return std::cout ? kExitSuccess : kExitTrouble;
    }

    // The output is opened, and its header written, with the first rows: a
    // file that fails before any row is decoded leaves nothing behind.
    Destination destination(options.output);
    std::unique_ptr<Tessera::PictureWriter> writer;
    bool opened = false;
    const bool taken = ReadAllRows(
        *reader, rows, failure, options.partial, [&](const std::uint8_t* rgb, std::size_t count) {
            if (!opened) {
                opened = true;
                std::ostream* out = destination.Open();
                if (out == nullptr) return false;
                writer = Tessera::MakePictureWriter(options.format, *out,
                                                    Tessera::BytesPerPixel(reader->Format()));
                if (writer == nullptr) return false;
                writer->SetIccProfile(reader->IccProfile());
                // The reader's size: the picture as the options make it.
                if (!writer->Begin(reader->Width(), reader->Height())) return false;
                if (options.format == PictureFormat::Png && !reader->IccProfile().empty() &&
                    !writer->IccProfileWritten())
                    std::cerr << "warning: " << options.input
                              << ": the ICC profile does not suit a PNG's colours: left out\n";
            }
            return writer->Rows(rgb, count);
        });
    if (opened && writer == nullptr) return kExitTrouble;  // reported by Open
    ReportWarnings(options, *reader);
    if (failure) {
        ReportFailure(options, *failure);
        // Without --partial a file is abandoned; standard output keeps what
        // was written before the failure, as a pipe cannot take it back.
        if (!options.partial) return kExitDecodeFailure;
    }
    if (!destination.Commit(taken && writer != nullptr && writer->End())) return kExitTrouble;
    if (!WriteIccProfile(options, *reader)) return kExitTrouble;
    return failure ? kExitDecodeFailure : kExitSuccess;
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
