#pragma once

#include <optional>

namespace Miruton {

// The largest scale: 8 times the pictures already fills a 4K screen.
constexpr int kMaxScale = 8;

// The scale the show is drawn at: --scale when given; otherwise from the
// Xft.dpi resource (null when unset), round(dpi / 96) and at least 1, the
// way desktops set a whole-number scale for a high-density screen; 1 when
// the resource is missing or not a number.
int ChooseScale(std::optional<int> option, const char* xftDpi);

}  // namespace Miruton
