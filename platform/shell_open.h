// Opening a file, URL or help page with the desktop's handler (xdg-open), the stand-in for the
// shell's open verb. Never waits for the handler and never fails hard when no handler is
// installed. Any thread.
#pragma once

#include <string>

namespace platform {

// Starts `xdg-open target` detached from this process. 0 when it was started; -1 when
// xdg-open is not on PATH or could not be started (nothing is shown then).
[[nodiscard]] int ShellOpen(const std::string& target);

// The full path of program found on PATH, or "" when there is none.
[[nodiscard]] std::string FindOnPath(const std::string& program);

}  // namespace platform
