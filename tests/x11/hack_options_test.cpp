#include "x11/hack_options.h"

#include <gtest/gtest.h>

#include "x11/display_scale.h"

namespace Miruton {
namespace {

TEST(ParseWindowId, HexadecimalAndDecimalFormsOnly) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> id;
    };
    const Case cases[] = {
        {"0x1a00003", 0x1a00003},                               // XScreenSaver, xwininfo
        {"0X1A00003", 0x1a00003},      {"27262979", 27262979},  // xsecurelock
        {"0xffffffff", 0xffffffffu},   {"4294967295", 0xffffffffu},
        {"4294967296", std::nullopt},                        // beyond 32 bits
        {"0x100000000", std::nullopt}, {"0", std::nullopt},  // None is no window
        {"0x0", std::nullopt},         {"", std::nullopt},
        {"0x", std::nullopt},          {"-5", std::nullopt},
        {"+5", std::nullopt},          {"0x-5", std::nullopt},
        {"12 ", std::nullopt},         {" 12", std::nullopt},
        {"1a", std::nullopt},  // hexadecimal needs its 0x
        {"0x1g", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseWindowId(c.text), c.id) << '"' << c.text << '"';
}

struct Parsed {
    std::vector<std::string_view> arguments;
    const char* screensaverWindow;
    std::optional<TargetKind> kind;  // nothing: refused
    std::uint32_t window = 0;
    std::optional<int> scale = std::nullopt;
};

TEST(ChooseTarget, FromTheCommandLineAndTheDaemonsWindow) {
    using K = TargetKind;
    const Parsed cases[] = {
        {{}, nullptr, K::OwnWindow},
        {{"-window"}, nullptr, K::OwnWindow},
        {{}, "0x42", K::GivenWindow, 0x42},  // xsecurelock gives no argument
        {{}, "66", K::GivenWindow, 66},
        {{"--fullscreen"}, "0x42", K::Fullscreen},
        {{"--fullscreen"}, nullptr, K::Fullscreen},
        {{"-root"}, nullptr, K::Root},
        {{"--root"}, "", K::Root},
        {{"--root"}, "0x2a00007", K::GivenWindow, 0x2a00007},  // XScreenSaver 6
        {{"-root"}, "44040199", K::GivenWindow, 44040199},     // xsecurelock
        {{"--root"}, "window", std::nullopt},
        {{"-window-id", "0x400001"}, nullptr, K::GivenWindow, 0x400001},
        {{"--window-id", "4194305"}, "0x99", K::GivenWindow, 4194305},
        {{"--window-id", "0x"}, nullptr, std::nullopt},
        {{"--window-id"}, nullptr, std::nullopt},
        {{"--root", "--window-id", "7"}, nullptr, std::nullopt},
        {{"--fullscreen", "--root"}, nullptr, std::nullopt},
        {{"--root", "--scale", "2"}, nullptr, K::Root, 0, 2},
        {{"-scale", "8"}, nullptr, K::OwnWindow, 0, 8},
        {{"--scale", "0"}, nullptr, std::nullopt},
        {{"--scale", "9"}, nullptr, std::nullopt},
        {{"--scale", "2x"}, nullptr, std::nullopt},
        {{"--display", ":3", "--root"}, nullptr, K::Root},
        {{"--display"}, nullptr, std::nullopt},
        {{"root"}, nullptr, std::nullopt},
        {{"--fps"}, nullptr, std::nullopt},
    };
    for (const Parsed& c : cases) {
        std::string all;
        for (auto a : c.arguments) all += std::string(a) + " ";
        SCOPED_TRACE(
            all + "XSCREENSAVER_WINDOW=" + (c.screensaverWindow ? c.screensaverWindow : "(unset)"));
        std::string error;
        const auto options = ParseHackOptions(c.arguments, error);
        const auto target =
            options ? ChooseTarget(*options, c.screensaverWindow, error) : std::nullopt;
        ASSERT_EQ(target.has_value(), c.kind.has_value()) << error;
        if (!target) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(target->kind, *c.kind);
        EXPECT_EQ(target->window, c.window);
        EXPECT_EQ(options->scale, c.scale);
    }
}

TEST(ChooseScale, TheOptionOrXftDpiOverNinetySix) {
    struct Case {
        std::optional<int> option;
        const char* dpi;
        int scale;
    };
    const Case cases[] = {
        {std::nullopt, nullptr, 1},
        {std::nullopt, "96", 1},
        {std::nullopt, "144", 2},
        {std::nullopt, "143.4", 1},
        {std::nullopt, "143.9", 2},
        {std::nullopt, "192", 2},
        {std::nullopt, "240", 3},
        {std::nullopt, "72", 1},
        {std::nullopt, "40", 1},
        {std::nullopt, "0", 1},
        {std::nullopt, "-192", 1},
        {std::nullopt, "dense", 1},
        {std::nullopt, "192dpi", 1},
        {std::nullopt, "9600", 8},
        {3, "96", 3},
        {1, "192", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseScale(c.option, c.dpi), c.scale)
            << (c.dpi ? c.dpi : "(unset)") << " option " << c.option.value_or(0);
}

}  // namespace
}  // namespace Miruton
