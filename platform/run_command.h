// Running a desktop's command-line tools (gsettings, resolvectl, nmcli, xdg-settings) and
// reading what they print. Every run is bounded in time and in output; a command that does not
// end in time is killed with everything it started. Any thread; the calling thread waits for the
// command.
#pragma once

#include <string>
#include <vector>

namespace platform {

inline constexpr int kCommandNotStarted = -1;
inline constexpr int kCommandTimedOut = -2;
inline constexpr int kDefaultCommandTimeoutMs = 5000;
// At most this many bytes of each of stdout and stderr are kept; the rest is read and dropped.
inline constexpr size_t kCommandOutputLimit = 64 * 1024;

// Runs argv[0] (searched on PATH) with stdin from /dev/null. Returns its exit status (0-255),
// kCommandNotStarted when it is not on PATH or could not be started (or ended by a signal),
// or kCommandTimedOut when it was killed after timeout_ms. out and err may be null.
[[nodiscard]] int RunCommand(const std::vector<std::string>& argv, std::string* out,
                             std::string* err = nullptr, int timeout_ms = kDefaultCommandTimeoutMs);

}  // namespace platform
