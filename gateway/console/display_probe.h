// Whether this process can reach a display: the choice between the headless mode and the
// display modes is made before any Qt object exists, because Qt ends the process when it
// cannot open the display it is given. Any thread; reads the environment only.
#pragma once

#include <string>

namespace console {

// True when WAYLAND_DISPLAY names a compositor socket that exists, or DISPLAY names an X
// server: a local one must accept a connection on its socket; a remote one is assumed there.
// *why says what was found (for the start-up line).
[[nodiscard]] bool DisplayReachable(std::string* why);

}  // namespace console
