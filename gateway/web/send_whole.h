// One whole message to a peer from a session's own thread, riding out a full send buffer
// for a bounded time. Every send carries MSG_DONTROUTE, as all of the web proxy's do.
#pragma once

#include <cstddef>

#include "platform/socket.h"

namespace web {

// A peer that takes nothing is waited for at most this many times this long.
inline constexpr int kSendTries = 100;
inline constexpr int kSendWaitMs = 50;

// Sends all n bytes. 0, or -1 when a send failed or the peer stayed full too long.
[[nodiscard]] int SendWhole(platform::Socket s, const char* data, size_t n);

}  // namespace web
