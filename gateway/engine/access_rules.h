// The administrator's deny rules and the check every session makes before it connects out.
// Thread-safe: one process-wide engine guarded by its own lock.
#pragma once

#include <string>

namespace engine {

inline constexpr int kMatchByAddress = 0;  // sessions
inline constexpr int kMatchByText = 1;     // the Security page's redundancy check

// 0 allowed, -1 denied. "All" is passed as the empty text. data: the HTTP request text for
// rule number 1, else "".
[[nodiscard]] int CheckAccess(int mode, int rule_number, const std::string& client_address,
                              const std::string& host_address, const std::string& data);

}  // namespace engine
