#include "hack_options.h"

#include <charconv>

#include "display_scale.h"

namespace Miruton {

const char kUsage[] =
    "usage: miruton [--root | --window-id ID | --fullscreen] [--scale K] [--display NAME]\n"
    "               [--verbose]\n"
    "  no option     the show in a window of its own (a key or closing it ends it)\n"
    "  --root        on the root window\n"
    "  --window-id   in the window ID (0x... or decimal)\n"
    "  --fullscreen  in a window of its own covering the screen, pointer hidden\n"
    "  --scale K     draw K times larger (default: Xft.dpi / 96, at least 1)\n"
    "  --verbose     tell on standard error what it draws with\n"
    "With $XSCREENSAVER_WINDOW set (by a screen-saver daemon) it draws in that window,\n"
    "unless --window-id or --fullscreen is given.\n";

namespace {

// "-name" and "--name" are the same option, as with every X program.
std::string_view OptionName(std::string_view argument) {
    if (argument.starts_with("--")) return argument.substr(2);
    if (argument.starts_with("-")) return argument.substr(1);
    return {};
}

}  // namespace

std::optional<std::uint32_t> ParseWindowId(std::string_view text) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    // from_chars would take a sign; ids have none.
    if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size() || value == 0) return std::nullopt;
    return value;
}

std::optional<HackOptions> ParseHackOptions(const std::vector<std::string_view>& arguments,
                                            std::string& error) {
    HackOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view name = OptionName(arguments[i]);
        const bool takesValue = name == "window-id" || name == "scale" || name == "display";
        if (takesValue && i + 1 == arguments.size()) {
            error = "--" + std::string(name) + " needs a value";
            return std::nullopt;
        }
        if (name == "root") {
            options.root = true;
        } else if (name == "window") {
            // XScreenSaver's word for "a window of its own", the default.
        } else if (name == "fullscreen") {
            options.fullscreen = true;
        } else if (name == "verbose" || name == "v") {
            options.verbose = true;
        } else if (name == "help" || name == "h") {
            options.help = true;
        } else if (name == "window-id") {
            options.windowId = ParseWindowId(arguments[++i]);
            if (!options.windowId) {
                error = "--window-id takes a window id, 0x... or decimal, not '" +
                        std::string(arguments[i]) + "'";
                return std::nullopt;
            }
        } else if (name == "scale") {
            const std::string_view text = arguments[++i];
            int scale = 0;
            const auto [end, fault] =
                std::from_chars(text.data(), text.data() + text.size(), scale);
            if (fault != std::errc() || end != text.data() + text.size() || scale < 1 ||
                scale > kMaxScale) {
                error = "--scale takes a whole number from 1 to " + std::to_string(kMaxScale);
                return std::nullopt;
            }
            options.scale = scale;
        } else if (name == "display") {
            options.display = arguments[++i];
        } else {
            error = "unexpected argument '" + std::string(arguments[i]) + "'";
            return std::nullopt;
        }
    }
    const int targets =
        int(options.root) + int(options.windowId.has_value()) + int(options.fullscreen);
    if (targets > 1) {
        error = "--root, --window-id and --fullscreen exclude each other";
        return std::nullopt;
    }
    return options;
}

std::optional<DrawTarget> ChooseTarget(const HackOptions& options, const char* screensaverWindow,
                                       std::string& error) {
    if (options.windowId) return DrawTarget{TargetKind::GivenWindow, *options.windowId};
    if (options.fullscreen) return DrawTarget{TargetKind::Fullscreen, 0};
    const bool named = screensaverWindow != nullptr && *screensaverWindow != '\0';
    if (!named) return DrawTarget{options.root ? TargetKind::Root : TargetKind::OwnWindow, 0};
    // The daemon named its window: drawing on the root instead would show
    // the show behind the daemon's window, or over the locked screen. A
    // daemon may run its saver with no argument at all (xsecurelock does):
    // a window of our own would open beside the lock.
    const auto window = ParseWindowId(screensaverWindow);
    if (!window) {
        error = "XSCREENSAVER_WINDOW is not a window id: '" + std::string(screensaverWindow) + "'";
        return std::nullopt;
    }
    return DrawTarget{TargetKind::GivenWindow, *window};
}

}  // namespace Miruton
