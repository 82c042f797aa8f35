#include "host/command_line.h"

#include <gtest/gtest.h>

#include <string>

#include "host/about_box.h"

namespace Miruton {
namespace {

TEST(ArgumentText, SkipsTheProgramPathAndTheBlanksAfterIt) {
    struct Case {
        std::string commandLine, arguments;
    };
    const Case cases[] = {
        {R"("C:\Program Files\Saver\miruton.scr" /s)", "/s"},
        {R"("C:\Program Files\Saver\miruton.scr"   /p 1234)", "/p 1234"},
        {R"("C:\unterminated quote /s)", ""},
        {R"(C:\WINDOWS\MIRUTON.SCR /c:42)", "/c:42"},
        {"miruton.scr", ""},
        {"miruton.scr \t\r\n  -S", "-S"},
        {"", ""},
        {"\xE3\x81\xBF.scr /s", "/s"},      // bytes above 0x7F belong to the path
        {"saver.scr\x01\x02/a 7", "/a 7"},  // control characters count as blanks
    };
    for (const Case& c : cases)
        EXPECT_EQ(ArgumentText(c.commandLine), c.arguments) << c.commandLine;
}

TEST(ParseWindowHandle, ReadsDecimalDigitsUntilTheFirstOther) {
    struct Case {
        const char* text;
        std::uint32_t handle;
    };
    const Case cases[] = {{"1234", 1234},
                          {"1234 5678", 1234},
                          {"0x1F", 0},
                          {"abc", 0},
                          {"", 0},
                          {"-5", 0},
                          {"4294967295", 4294967295u},
                          {"4294967296", 0},  // wraps modulo 2^32
                          {"4294967297", 1},
                          {"00042x", 42}};
    for (const Case& c : cases) EXPECT_EQ(ParseWindowHandle(c.text), c.handle) << c.text;
}

TEST(SelectMode, EverySwitchAndHandleForm) {
    struct Case {
        const char* arguments;
        SaverMode mode;
        std::uint32_t handle;
    };
    const Case cases[] = {
        {"", SaverMode::About, 0},
        {"   ", SaverMode::About, 0},
        {"/s", SaverMode::Show, 0},
        {"-S", SaverMode::Show, 0},
        {"s", SaverMode::Show, 0},
        {" //s", SaverMode::Show, 0},
        {"/-/S trailing", SaverMode::Show, 0},
        {"/p 1234", SaverMode::Preview, 1234},
        {"/p1234", SaverMode::Preview, 1234},
        {"/P    77", SaverMode::Preview, 77},
        {"/p", SaverMode::Preview, 0},
        {"/p abc", SaverMode::Preview, 0},
        {"/p 0x1F", SaverMode::Preview, 0},
        {"/p\t12", SaverMode::Preview, 0},  // only the space character is skipped
        {"/l 1234", SaverMode::Preview, 1234},
        {"/L 9", SaverMode::Preview, 9},
        {"/c:1234", SaverMode::Configure, 1234},
        {"/C:99", SaverMode::Configure, 99},
        {"/c 1234", SaverMode::Configure, 0},  // a number after a blank is not read
        {"/c", SaverMode::Configure, 0},
        {"/c:", SaverMode::Configure, 0},
        {"/a 1234", SaverMode::ChangePassword, 1234},
        {"-A5", SaverMode::ChangePassword, 5},
        {"/x", SaverMode::Invalid, 0},
        {"/1", SaverMode::Invalid, 0},
        {"\t/s", SaverMode::Invalid, 0},  // a control character where a switch is expected
        {"/s/p 5", SaverMode::Show, 0},   // only the first switch counts
    };
    for (const Case& c : cases) {
        const ModeSelection selection = SelectMode(c.arguments);
        EXPECT_EQ(selection.mode, c.mode) << '"' << c.arguments << '"';
        EXPECT_EQ(selection.handle, c.handle) << '"' << c.arguments << '"';
    }
}

TEST(AboutBox, OnlyTheButtonEndsTheDialogWithOne) {
    constexpr std::uint32_t kCancel = 2, kClose = 0x0010, kKeyDown = 0x0100;
    EXPECT_TRUE(DecideAbout(kInitDialog, 0).result);
    EXPECT_FALSE(DecideAbout(kInitDialog, 0).endDialog);
    const AboutDecision button = DecideAbout(kCommand, kOkButton);
    EXPECT_TRUE(button.endDialog);
    EXPECT_EQ(button.endResult, 1);
    EXPECT_FALSE(button.result);
    for (const auto& [message, command] :
         {std::pair{kCommand, kCancel}, std::pair{kClose, 0u}, std::pair{kKeyDown, 27u}}) {
        const AboutDecision decision = DecideAbout(message, command);
        EXPECT_FALSE(decision.endDialog) << message << " " << command;
        EXPECT_FALSE(decision.result);
    }
}

}  // namespace
}  // namespace Miruton
