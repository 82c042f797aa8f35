#include "host/saver_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/saver_messages.h"

namespace Miruton {
namespace {

// Records what the procedures ask of the window system, and answers as told.
class RecordingPlatform : public SaverPlatform {
  public:
    std::vector<std::string> calls;
    CursorPoint cursor;
    std::uint32_t now = 1000;
    std::vector<bool> verdicts;  // answers of successive verifier requests
    int verifyRequests = 0;
    HostState* state = nullptr;  // to observe the flags while the verifier runs
    bool checkRunningDuringVerify = false;

    Result Slideshow(std::uint32_t m, std::uintptr_t, std::intptr_t) override {
        calls.push_back("slideshow " + std::to_string(m));
        return 77;
    }
    Result DefWindow(std::uint32_t m, std::uintptr_t, std::intptr_t) override {
        calls.push_back("default " + std::to_string(m));
        return 55;
    }
    CursorPoint CursorPosition() override { return cursor; }
    void HideCursor() override { calls.push_back("hide cursor"); }
    void PostClose() override { calls.push_back("post close"); }
    bool ForwardToParent(std::uint32_t m, std::intptr_t l) override {
        calls.push_back("to parent " + std::to_string(m) + " " + std::to_string(l));
        return true;
    }
    void SwitchInputMethodOff() override { calls.push_back("ime off"); }
    void RestoreInputMethod() override { calls.push_back("ime restore"); }
    void PostQuit() override { calls.push_back("quit"); }
    void YieldSlice() override { calls.push_back("yield"); }
    std::uint32_t TickCount() override { return now; }
    void RemovePendingTicks() override { calls.push_back("remove ticks"); }
    bool SendVerifyRequest() override {
        calls.push_back("verify");
        if (state != nullptr) checkRunningDuringVerify = state->passwordCheckRunning;
        return verdicts.at(verifyRequests++);
    }
    Result CallVerifier() override {
        calls.push_back("verifier");
        return 0;
    }
    int Count(const std::string& call) const {
        return static_cast<int>(std::count(calls.begin(), calls.end(), call));
    }
};

TEST(MouseThreshold, TheSumOfBothDistancesMustExceedFour) {
    struct Case {
        CursorPoint saved, now;
        bool closes;
    };
    const Case cases[] = {
        {{100, 100}, {102, 102}, false},  // 2 right, 2 down: exactly 4
        {{100, 100}, {103, 102}, true},
        {{100, 100}, {104, 100}, false},
        {{100, 100}, {95, 100}, true},
        {{100, 100}, {97, 98}, true},  // 3 + 2
        {{100, 100}, {100, 100}, false},
        {{0, 0}, {-3, -1}, false},
        {{-2147483647 - 1, 0}, {2147483647, 0}, true},  // no overflow at the extremes
    };
    for (const Case& c : cases)
        EXPECT_EQ(MovedBeyondThreshold(c.saved, c.now), c.closes)
            << c.now.x - c.saved.x << "," << c.now.y - c.saved.y;
}

struct Fixture : ::testing::Test {
    HostState state;
    RecordingPlatform platform;
    Fixture() { platform.state = &state; }
    SaverPlatform::Result Window(std::uint32_t m, std::uintptr_t w = 0, std::intptr_t l = 0) {
        return SaverWindowLogic(state, platform, m, w, l);
    }
    SaverPlatform::Result Default(std::uint32_t m, std::uintptr_t w = 0, std::intptr_t l = 0) {
        return DefaultSaverLogic(state, platform, m, w, l);
    }
};

using SaverWindow = Fixture;

TEST_F(SaverWindow, CreationSavesTheCursorAndHidesItInFullScreenOnly) {
    platform.cursor = {40, 50};
    EXPECT_EQ(Window(Msg::Create), 77);
    EXPECT_EQ(platform.calls, (std::vector<std::string>{"ime off", "hide cursor", "slideshow 1"}));
    EXPECT_EQ(state.savedCursor.x, 40);
    EXPECT_EQ(state.savedCursor.y, 50);

    platform.calls.clear();
    state.preview = true;
    Window(Msg::Create);
    EXPECT_EQ(platform.calls, (std::vector<std::string>{"ime off", "slideshow 1"}));
}

TEST_F(SaverWindow, RoutesEachMessageAsTheCloseStateRequires) {
    struct Case {
        std::uint32_t message;
        std::uintptr_t wParam;
        bool preview, closeGranted;
        SaverPlatform::Result result;
        std::vector<std::string> calls;
    };
    const std::string s = "slideshow ", d = "default ";
    const Case cases[] = {
        {Msg::SetText, 0, false, false, 0, {}},
        {Msg::Destroy, 0, false, false, 77, {"ime restore", "quit", s + "2"}},
        {Msg::Paint, 0, false, false, 77, {"hide cursor", s + "15"}},
        {Msg::Paint, 0, true, false, 77, {s + "15"}},
        {Msg::Paint, 0, false, true, 55, {d + "15"}},
        {Msg::KeyDown, 0, false, false, 77, {s + "256"}},
        {Msg::KeyDown, 0, false, true, 55, {d + "256"}},
        {Msg::MouseMove, 0, false, true, 55, {d + "512"}},
        {Msg::MButtonDown, 0, false, true, 55, {d + "519"}},
        {Msg::Timer, 1, false, false, 77, {"yield", s + "275"}},
        {Msg::Timer, 1, false, true, 0, {}},  // no frame once closing
        {Msg::SysCommand, kScScreenSave, false, false, 0, {}},
        {Msg::SysCommand, kScNextWindow, false, false, 0, {}},
        {Msg::SysCommand, kScPrevWindow, false, false, 0, {}},
        {Msg::SysCommand, kScScreenSave + 1, false, false, 77, {s + "274"}},
        {Msg::SysCommand, kScScreenSave, true, false, 77, {s + "274"}},
        {Msg::Help, 0, true, false, 1, {"to parent 83 9"}},
        {Msg::ContextMenu, 0, true, false, 1, {"to parent 123 9"}},
        {Msg::Help, 0, false, false, 77, {s + "83"}},
        {Msg::Close, 0, false, false, 77, {s + "16"}},
    };
    for (const Case& c : cases) {
        state = HostState{};
        state.preview = c.preview;
        state.closeGranted = c.closeGranted;
        platform.calls.clear();
        EXPECT_EQ(Window(c.message, c.wParam, 9), c.result) << c.message;
        EXPECT_EQ(platform.calls, c.calls) << c.message;
    }
}

using DefaultSaver = Fixture;

TEST_F(DefaultSaver, InputClosesTheFullScreenShow) {
    struct Case {
        std::uint32_t message;
        std::uintptr_t wParam;
        bool closes;
    };
    const Case cases[] = {
        {Msg::KeyDown, 65, true},         {Msg::SysKeyDown, 18, true},
        {Msg::LButtonDown, 0, true},      {Msg::RButtonDown, 0, true},
        {Msg::MButtonDown, 0, true},      {Msg::ActivateApp, 0, true},
        {Msg::ActivateApp, 1, false},     {Msg::Power, 1, false},
        {Msg::Power, 2, false},           {Msg::Power, kPowerCriticalResume, true},
        {Msg::PowerBroadcast, 4, true},   {Msg::Paint, 0, false},
        {Msg::PowerBroadcast, 10, false},  // battery status
    };
    for (const Case& c : cases) {
        for (bool preview : {false, true}) {
            state = HostState{};
            state.preview = preview;
            platform.calls.clear();
            EXPECT_EQ(Default(c.message, c.wParam), 55);
            EXPECT_EQ(platform.Count("post close"), c.closes && !preview ? 1 : 0)
                << c.message << " wParam " << c.wParam << (preview ? " preview" : "");
        }
    }
}

TEST(PowerBroadcast, OnlyGoingToSleepAndWakingEndTheShow) {
    for (std::uintptr_t event :
         {Pbt::QuerySuspend, Pbt::Suspend, Pbt::ResumeSuspend, Pbt::ResumeCritical,
          Pbt::ResumeAutomatic, Pbt::QueryStandby, Pbt::Standby, Pbt::ResumeStandby})
        EXPECT_TRUE(PowerBroadcastCloses(event)) << event;
    // What a laptop reports while nobody touches it, and events unknown here.
    for (std::uintptr_t event :
         {Pbt::PowerStatusChange, Pbt::BatteryLow, Pbt::OemEvent, Pbt::PowerSettingChange,
          Pbt::QuerySuspendFailed, Pbt::QueryStandbyFailed, std::uintptr_t{0x0C}})
        EXPECT_FALSE(PowerBroadcastCloses(event)) << event;
}

TEST_F(DefaultSaver, MovementClosesFromTheSavedPositionAndMovesTheReference) {
    state.savedCursor = {500, 400};
    platform.cursor = {502, 402};
    Default(Msg::MouseMove, 0, 0);
    EXPECT_EQ(platform.Count("post close"), 0);
    platform.cursor = {503, 402};
    Default(Msg::MouseMove, 0, 0);
    EXPECT_EQ(platform.Count("post close"), 1);
    EXPECT_EQ(state.savedCursor.x, 503);
    // The next message at the same place is no movement.
    Default(Msg::MouseMove, 0, 0);
    EXPECT_EQ(platform.Count("post close"), 1);
}

TEST_F(DefaultSaver, NothingClosesWhileAPasswordCheckRunsOrAfterTheCloseIsGranted) {
    for (bool running : {true, false}) {
        state = HostState{};
        state.passwordCheckRunning = running;
        state.closeGranted = !running;
        platform.calls.clear();
        for (std::uint32_t m : {Msg::KeyDown, Msg::LButtonDown, Msg::PowerBroadcast}) Default(m);
        platform.cursor = {100, 100};
        Default(Msg::MouseMove);
        EXPECT_EQ(platform.Count("post close"), 0);
    }
}

TEST_F(DefaultSaver, SetCursorHidesAndAnswersOneShowWindowHidesOnlyWhenShown) {
    EXPECT_EQ(Default(Msg::SetCursor), 1);
    EXPECT_EQ(platform.calls, (std::vector<std::string>{"hide cursor"}));
    platform.calls.clear();
    Default(Msg::ShowWindow, 0);
    EXPECT_EQ(platform.Count("hide cursor"), 0);
    Default(Msg::ShowWindow, 1);
    EXPECT_EQ(platform.Count("hide cursor"), 1);
}

TEST_F(DefaultSaver, AutoPlayIsRefusedAndClosesTheShow) {
    state.autoPlayMessage = 0xC123;
    EXPECT_EQ(Default(0xC123), 0);
    EXPECT_EQ(platform.calls, (std::vector<std::string>{"post close"}));
    state.haveVerifier = true;
    EXPECT_EQ(Default(0xC123), 1);
    state = HostState{};  // not registered: the message is nothing special
    platform.calls.clear();
    EXPECT_EQ(Default(0xC123), 55);
    EXPECT_EQ(platform.Count("post close"), 0);
}

TEST_F(DefaultSaver, CloseWithoutAVerifierGoesStraightThrough) {
    for (bool windows9x : {false, true}) {
        state = HostState{};
        state.windows9x = windows9x;
        platform.calls.clear();
        EXPECT_EQ(Default(Msg::Close), 55);
        EXPECT_EQ(platform.Count("default 16"), 1);
        EXPECT_EQ(platform.Count("verify"), 0);
    }
}

TEST_F(DefaultSaver, TheVerifyMessageAsksTheVerifierOnWindows9xOnly) {
    state.windows9x = true;
    EXPECT_EQ(Default(Msg::Verify), 1);  // no verifier: the close may proceed
    state.haveVerifier = true;
    EXPECT_EQ(Default(Msg::Verify), 0);
    EXPECT_EQ(platform.Count("verifier"), 1);
    state.windows9x = false;
    EXPECT_EQ(Default(Msg::Verify), 55);
}

TEST_F(DefaultSaver, ARefusedPasswordKeepsTheShowAndQuickRequestsAreSwallowed) {
    state.windows9x = true;
    state.haveVerifier = true;
    platform.verdicts = {false, true};
    platform.cursor = {10, 20};

    // First request: asked, refused; the show goes on with a new reference.
    EXPECT_EQ(Default(Msg::Close), 0);
    EXPECT_EQ(platform.verifyRequests, 1);
    EXPECT_TRUE(platform.checkRunningDuringVerify);
    EXPECT_FALSE(state.passwordCheckRunning);
    EXPECT_FALSE(state.closeGranted);
    EXPECT_EQ(state.savedCursor.x, 10);
    EXPECT_EQ(platform.Count("remove ticks"), 2);
    EXPECT_EQ(platform.Count("hide cursor"), 1);

    // Within 200 ms of the end of that check: swallowed, no second dialog.
    platform.now += 150;
    EXPECT_EQ(Default(Msg::Close), 0);
    platform.now += 49;
    EXPECT_EQ(Default(Msg::Close), 0);
    EXPECT_EQ(platform.verifyRequests, 1);

    // 200 ms later: asked again, accepted, the window closes.
    platform.now += 1;
    EXPECT_EQ(Default(Msg::Close), 55);
    EXPECT_EQ(platform.verifyRequests, 2);
    EXPECT_TRUE(state.closeGranted);
    // From then on input no longer posts closes.
    Default(Msg::KeyDown);
    EXPECT_EQ(platform.Count("post close"), 0);
}

TEST(ConfirmClose, TheGapIsMeasuredUnsignedAcrossTheTickCountWrap) {
    struct Case {
        std::uint32_t last, now;
        bool asks;
    };
    const Case cases[] = {{0xFFFFFF00u, 0x00000010u, true},   // 0x110 = 272 ms later
                          {0xFFFFFFF0u, 0x00000010u, false},  // 32 ms later
                          {1000, 1199, false},
                          {1000, 1200, true},
                          {HostState::kNeverChecked, 5, true}};
    for (const Case& c : cases) {
        HostState state;
        state.haveVerifier = true;
        state.lastCheckTime = c.last;
        RecordingPlatform platform;
        platform.now = c.now;
        platform.verdicts = {true};
        EXPECT_EQ(ConfirmCloseLogic(state, platform), c.asks) << c.last << " -> " << c.now;
        EXPECT_EQ(platform.verifyRequests, c.asks ? 1 : 0);
    }
}

TEST(ConfirmClose, NeverStartsASecondCheckOrAfterTheCloseIsGranted) {
    HostState state;
    state.haveVerifier = true;
    RecordingPlatform platform;
    state.passwordCheckRunning = true;
    EXPECT_FALSE(ConfirmCloseLogic(state, platform));
    state.passwordCheckRunning = false;
    state.closeGranted = true;
    EXPECT_FALSE(ConfirmCloseLogic(state, platform));
    EXPECT_EQ(platform.verifyRequests, 0);
    // Without a verifier the close is granted at once.
    HostState plain;
    EXPECT_TRUE(ConfirmCloseLogic(plain, platform));
    EXPECT_TRUE(plain.closeGranted);
}

}  // namespace
}  // namespace Miruton
