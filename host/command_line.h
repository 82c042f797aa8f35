#pragma once

#include <cstdint>
#include <string_view>

namespace Miruton {

// The modes that the screen-saver control starts the program in.
enum class SaverMode {
    About,           // no switch at all: the about box with no owner
    Configure,       // C: the about box, owned by the given or the foreground window
    Show,            // S: full screen
    Preview,         // P or L: inside the control panel's preview window
    ChangePassword,  // A: the system's password change (Windows 9x)
    Invalid,         // anything else: nothing runs, the result is -1
};

struct ModeSelection {
    SaverMode mode = SaverMode::About;
    // P, L and A: the handle that follows the switch (0 when none).
    // C: the handle after "C:", or 0 when the switch has no colon.
    // The caller checks that a handle names a live window.
    std::uint32_t handle = 0;
};

// The argument text of a command line: the program path (quoted or not) and
// the blanks after it skipped. Bytes are compared unsigned, so 0x80..0xFF count
// as printable.
std::string_view ArgumentText(std::string_view commandLine);

// A decimal window handle: digits until the first other character, no sign or
// hexadecimal form, wrapping modulo 2^32. No leading digit gives 0.
std::uint32_t ParseWindowHandle(std::string_view text);

// The first switch of the argument text, after blanks, '-' and '/'.
ModeSelection SelectMode(std::string_view arguments);

}  // namespace Miruton
