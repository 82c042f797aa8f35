// tessera-show-trace: runs the slideshow from the embedded pictures without a
// window and prints, tick by tick, the state that each tick draws.
//
//   tessera-show-trace (--client WIDTHxHEIGHT [--preview] | --monitors WxH+X+Y[,...])
//                      [--scale K] --ticks N [--frames DIR]
//
// Each line is "t index counter step mask x y colour", taken before the tick's
// advance; colour is the text's COLORREF in hexadecimal, or "-" in preview
// mode. With --monitors (the first is the primary; the window covers their
// bounding box, and x y are in its coordinates) or --scale each line ends with
// the text's position, "textx texty". With --frames every tick's frame is
// written as DIR/frame-NNNNN.ppm, at its size on the screen.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "slideshow/show.h"

namespace Miruton {

namespace {

constexpr std::string_view kUsage =
    "usage: tessera-show-trace (--client WIDTHxHEIGHT [--preview] | --monitors WxH+X+Y[,...])\n"
    "                          [--scale K] --ticks N [--frames DIR]\n";

struct Options {
    int clientWidth = -1;
    int clientHeight = -1;
    std::vector<ScreenRect> monitors;
    int scale = 0;  // 0: not given
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

// "WxH", the size of a client area or a monitor.
std::optional<std::pair<int, int>> ParseSize(std::string_view size) {
    const auto x = size.find('x');
    if (x == std::string_view::npos) return std::nullopt;
    const auto width = ParseNumber(size.substr(0, x));
    const auto height = ParseNumber(size.substr(x + 1));
    if (!width || !height || *width > 65535 || *height > 65535) return std::nullopt;
    return std::pair{static_cast<int>(*width), static_cast<int>(*height)};
}

// Takes a signed offset of a monitor geometry, "+N", "-N" or "+-N", from the
// front of the text.
std::optional<int> TakeOffset(std::string_view& text) {
    if (text.empty() || (text[0] != '+' && text[0] != '-')) return std::nullopt;
    bool negative = text[0] == '-';
    text.remove_prefix(1);
    if (!negative && !text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    const auto digits = std::min(text.find_first_of("+-"), text.size());
    const auto value = ParseNumber(text.substr(0, digits));
    text.remove_prefix(digits);
    if (!value || *value > 65535) return std::nullopt;
    return static_cast<int>(negative ? -*value : *value);
}

// "WxH+X+Y,WxH+X+Y,...": monitors in desktop coordinates, the primary first.
std::optional<std::vector<ScreenRect>> ParseMonitors(std::string_view list) {
    std::vector<ScreenRect> monitors;
    while (true) {
        const auto comma = list.find(',');
        std::string_view one = list.substr(0, comma);
        const auto size = ParseSize(one.substr(0, one.find_first_of("+-")));
        if (!size || size->first == 0 || size->second == 0) return std::nullopt;
        one.remove_prefix(std::min(one.find_first_of("+-"), one.size()));
        const auto x = TakeOffset(one);
        const auto y = TakeOffset(one);
        if (!x || !y || !one.empty()) return std::nullopt;
        monitors.push_back({*x, *y, size->first, size->second});
        if (comma == std::string_view::npos) return monitors;
        list.remove_prefix(comma + 1);
    }
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
            const auto size = ParseSize(argv[++i]);
            if (!size) {
                error = "--client takes WIDTHxHEIGHT, e.g. 1024x768";
                return std::nullopt;
            }
            std::tie(options.clientWidth, options.clientHeight) = *size;
        } else if (argument == "--monitors" && hasValue) {
            auto monitors = ParseMonitors(argv[++i]);
            if (!monitors) {
                error = "--monitors takes WxH+X+Y[,WxH+X+Y...], e.g. 1024x768+0+0,800x600+1024+0";
                return std::nullopt;
            }
            options.monitors = std::move(*monitors);
        } else if (argument == "--scale" && hasValue) {
            const auto scale = ParseNumber(argv[++i]);
            if (!scale || *scale < 1 || *scale > kMaxScale) {
                error = "--scale takes a whole number from 1 to " + std::to_string(kMaxScale);
                return std::nullopt;
            }
            options.scale = static_cast<int>(*scale);
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
    const bool hasMonitors = !options.monitors.empty();
    if ((options.clientWidth < 0) == !hasMonitors || options.ticks < 0) {
        error = "--ticks and one of --client and --monitors are required";
        return std::nullopt;
    }
    if (options.preview && (hasMonitors || options.scale != 0)) {
        error =
            "--preview takes neither --monitors nor --scale: the preview is one unscaled window";
        return std::nullopt;
    }
    return options;
}

bool WriteFrame(const std::filesystem::path& path, const TickDrawing& drawing) {
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

ScreenLayout LayoutOf(const Options& options) {
    ScreenLayout layout = options.monitors.empty()
                              ? SingleScreen(options.clientWidth, options.clientHeight)
                              : CoveringLayout(options.monitors, 1);
    layout.scale = std::max(options.scale, 1);
    return layout;
}

// "t index counter step mask x y colour [textx texty]"
void PrintTick(long t, const SlideshowState& state, const TickDrawing& drawing, bool showText) {
    char colour[8] = "-";
    if (drawing.drawText) std::snprintf(colour, sizeof colour, "%06X", drawing.textColour);
    std::printf("%ld %d %d %d %d %d %d %s", t, state.currentIndex, state.counter, state.step,
                static_cast<int>(state.maskKind), state.x, state.y, colour);
    if (showText) std::printf(" %d %d", drawing.textX, drawing.textY);
    std::printf("\n");
}

int Run(const Options& options) {
    ResourcePictureSource source;
    Show show(LayoutOf(options), source, options.preview);
    // Traces of one plain screen keep their lines as they always were.
    const bool showText = !options.monitors.empty() || options.scale != 0;

    if (!options.framesDirectory.empty())
        std::filesystem::create_directories(options.framesDirectory);
    for (long t = 0; t < options.ticks; ++t) {
        const TickDrawing drawing = show.PlanTick();
        PrintTick(t, show.State(), drawing, showText);
        if (!options.framesDirectory.empty()) {
            char name[32];
            std::snprintf(name, sizeof name, "frame-%05ld.ppm", t);
            const auto path = std::filesystem::path(options.framesDirectory) / name;
            if (!WriteFrame(path, drawing)) {
                std::cerr << "tessera-show-trace: cannot write " << path.string() << "\n";
                return 2;
            }
        }
        show.AdvanceAnimation();
    }
    return std::fflush(stdout) == 0 ? 0 : 2;
}

}  // namespace

}  // namespace Miruton

int main(int argc, char** argv) {
    std::string error;
    const auto options = Miruton::ParseArguments(argc, argv, error);
    if (!options) {
        std::cerr << "tessera-show-trace: " << error << "\n" << Miruton::kUsage;
        return 2;
    }
    try {
        return Miruton::Run(*options);
    } catch (const std::exception& e) {
        // The pictures are ours and decode; anything else is a broken build.
        std::cerr << "tessera-show-trace: cannot load the pictures: " << e.what() << "\n";
        return 1;
    }
}
