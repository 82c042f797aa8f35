#pragma once

#include <optional>

#include "slideshow/screen_layout.h"

namespace Miruton {

// The scale the show is drawn at: --scale when given; otherwise from the
// Xft.dpi resource (null when unset), the resolution X desktops announce for
// a high-density screen, scaled as Windows scales its resolution (144 dpi
// gives 2); 1 when the resource is missing or not a number.
int ChooseScale(std::optional<int> option, const char* xftDpi);

}  // namespace Miruton
