// Whether a display answers, asked before any window toolkit is started.
#pragma once

#include <string>

namespace sked {

// True when a display can be reached: DISPLAY (X11) or WAYLAND_DISPLAY names
// one whose socket answers. `problem` says why not.
bool DisplayAvailable(std::string* problem = nullptr);

}  // namespace sked
