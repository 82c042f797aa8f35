#include "display_scale.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace Miruton {

int ChooseScale(std::optional<int> option, const char* xftDpi) {
    if (option) return *option;
    if (xftDpi == nullptr) return 1;
    double dpi = 0;
    const char* end = xftDpi + std::strlen(xftDpi);
    const auto [stop, error] = std::from_chars(xftDpi, end, dpi);
    // Xft.dpi may have a fraction ("143.9"); absurd values would overflow.
    if (error != std::errc() || stop != end || !(dpi > 0) || dpi > 1e6) return 1;
    return ScaleForDpi(static_cast<int>(std::lround(dpi)));
}

}  // namespace Miruton
