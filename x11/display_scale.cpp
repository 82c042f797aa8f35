#include "display_scale.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace Miruton {

namespace {

constexpr double kStandardDpi = 96.0;  // the density at which the show is drawn 1:1

}  // namespace

int ChooseScale(std::optional<int> option, const char* xftDpi) {
    if (option) return *option;
    if (xftDpi == nullptr) return 1;
    double dpi = 0;
    const char* end = xftDpi + std::strlen(xftDpi);
    const auto [stop, error] = std::from_chars(xftDpi, end, dpi);
    if (error != std::errc() || stop != end || !(dpi > 0)) return 1;
    const double scale = std::round(dpi / kStandardDpi);
    if (scale < 1) return 1;
    return scale > kMaxScale ? kMaxScale : static_cast<int>(scale);
}

}  // namespace Miruton
