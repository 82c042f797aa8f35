#pragma once

#include <cstdint>

namespace Miruton {

struct CursorPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// The host's process-wide flags, shared by the window procedures.
struct HostState {
    bool windows9x = false;  // the password check and the AutoPlay rule are 9x-only
    bool preview = false;
    bool closeGranted = false;
    bool passwordCheckRunning = false;
    CursorPoint savedCursor;
    std::uint32_t autoPlayMessage = 0;  // "QueryCancelAutoPlay", 0 when not registered
    bool haveVerifier = false;          // VerifyScreenSavePwd was found
    std::uint32_t lastCheckTime = kNeverChecked;

    static constexpr std::uint32_t kNeverChecked = 0xFFFFFFFF;
};

}  // namespace Miruton
