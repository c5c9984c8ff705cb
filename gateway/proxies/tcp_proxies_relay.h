// The sending of the proxies' own short texts (prompts, replies, control lines) with a bounded
// ride-out of a full buffer. Relayed bytes go through engine::RelayPair instead, which never
// waits on a peer. Used by session threads on their own sockets.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/socket.h"

namespace proxies {

// One send try waits at most this long for room.
inline constexpr int kSendWaitMs = 50;

// Sends all n bytes. A full buffer (would-block, no buffers) is waited out up to tries times
// kSendWaitMs. 0, or -1 on another error or when the tries ran out.
[[nodiscard]] int SendWithRetry(platform::Socket s, const char* data, size_t n, int tries);
// A text of the proxy's own, whole, to a client or server. 0 or -1.
[[nodiscard]] int SendText(platform::Socket s, std::string_view text);

}  // namespace proxies
