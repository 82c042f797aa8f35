// tessera-show-trace: runs the slideshow from the embedded pictures without a
// window and prints, tick by tick, the state that each tick draws.
//
//   tessera-show-trace --client WIDTHxHEIGHT [--preview] --ticks N [--frames DIR]
//
// Each line is "t index counter step mask x y colour", taken before the tick's
// advance; colour is the text's COLORREF in hexadecimal, or "-" in preview
// mode. With --frames every tick's frame is written as DIR/frame-NNNNN.ppm.
#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "slideshow/animation.h"
#include "slideshow/picture_loading.h"
#include "slideshow/show_tick.h"

namespace {

constexpr std::string_view kUsage =
    "usage: tessera-show-trace --client WIDTHxHEIGHT [--preview] --ticks N [--frames DIR]\n";

struct Options {
    int clientWidth = -1;
    int clientHeight = -1;
    bool preview = false;
    long ticks = -1;
    std::string framesDirectory;
};

std::optional<long> ParseNumber(std::string_view text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// The command line, or an explanation of what is wrong with it.
std::optional<Options> ParseArguments(int argc, char** argv, std::string& error) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--preview") {
            options.preview = true;
        } else if (argument == "--client" && hasValue) {
            const std::string_view size = argv[++i];
            const auto x = size.find('x');
            const auto width = ParseNumber(size.substr(0, x));
            const auto height =
                x == std::string_view::npos ? std::nullopt : ParseNumber(size.substr(x + 1));
            if (!width || !height || *width > 65535 || *height > 65535) {
                error = "--client takes WIDTHxHEIGHT, e.g. 1024x768";
                return std::nullopt;
            }
            options.clientWidth = static_cast<int>(*width);
            options.clientHeight = static_cast<int>(*height);
        } else if (argument == "--ticks" && hasValue) {
            const auto ticks = ParseNumber(argv[++i]);
            if (!ticks) {
                error = "--ticks takes a whole number";
                return std::nullopt;
            }
            options.ticks = *ticks;
        } else if (argument == "--frames" && hasValue) {
            options.framesDirectory = argv[++i];
        } else {
            error = "unexpected argument '" + std::string(argument) + "'";
            return std::nullopt;
        }
    }
    if (options.clientWidth < 0 || options.ticks < 0) {
        error = "--client and --ticks are required";
        return std::nullopt;
    }
    return options;
}

bool WriteFrame(const std::filesystem::path& path, const Tessera::TickDrawing& drawing) {
    std::ofstream file(path, std::ios::binary);
    file << "P6\n" << drawing.width << ' ' << drawing.height << "\n255\n";
    std::vector<char> rgb(drawing.frame.size());
    for (std::size_t k = 0; k < rgb.size(); k += 3) {  // blue, green, red to red, green, blue
        rgb[k] = static_cast<char>(drawing.frame[k + 2]);
        rgb[k + 1] = static_cast<char>(drawing.frame[k + 1]);
        rgb[k + 2] = static_cast<char>(drawing.frame[k]);
    }
    file.write(rgb.data(), static_cast<std::streamsize>(rgb.size()));
    return static_cast<bool>(file);
}

int Run(const Options& options) {
    Tessera::SlideshowState show;
    show.preview = options.preview;
    Tessera::ResourcePictureSource source;
    Tessera::LoadPictures(show, options.clientWidth, options.clientHeight, source);

    if (!options.framesDirectory.empty())
        std::filesystem::create_directories(options.framesDirectory);
    Tessera::SlideRandom random;
    for (long t = 0; t < options.ticks; ++t) {
        const Tessera::TickDrawing drawing = Tessera::PlanTick(show);
        char colour[8] = "-";
        if (drawing.drawText) std::snprintf(colour, sizeof colour, "%06X", drawing.textColour);
        std::printf("%ld %d %d %d %d %d %d %s\n", t, show.currentIndex, show.counter, show.step,
                    static_cast<int>(show.maskKind), show.x, show.y, colour);
        if (!options.framesDirectory.empty()) {
            char name[32];
            std::snprintf(name, sizeof name, "frame-%05ld.ppm", t);
            const auto path = std::filesystem::path(options.framesDirectory) / name;
            if (!WriteFrame(path, drawing)) {
                std::cerr << "tessera-show-trace: cannot write " << path.string() << "\n";
                return 2;
            }
        }
        Tessera::AdvanceAnimation(show, random);
    }
    return std::fflush(stdout) == 0 ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = ParseArguments(argc, argv, error);
    if (!options) {
        std::cerr << "tessera-show-trace: " << error << "\n" << kUsage;
        return 2;
    }
    try {
        return Run(*options);
    } catch (const std::exception& e) {
        // The pictures are ours and decode; anything else is a broken build.
        std::cerr << "tessera-show-trace: cannot load the pictures: " << e.what() << "\n";
        return 1;
    }
}
