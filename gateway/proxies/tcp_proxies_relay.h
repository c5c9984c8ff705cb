// Byte moving shared by the FTP data relay and the Telnet relay: one read of what a socket
// holds, passed on to its peer with a bounded ride-out of a congested peer, and the sending of
// the proxies' own texts. Used by session threads on their own sockets.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/socket.h"

namespace proxies {

// One send try waits at most this long for room.
inline constexpr int kSendWaitMs = 50;
// Largest read of one relay step; more waiting arrives with the next read event.
inline constexpr size_t kRelayChunk = 64 * 1024;

// Sends all n bytes. A full buffer (would-block, no buffers) is waited out up to tries times
// kSendWaitMs. 0, or -1 on another error or when the tries ran out.
[[nodiscard]] int SendWithRetry(platform::Socket s, const char* data, size_t n, int tries);
// A text of the proxy's own, whole, to a client or server. 0 or -1.
[[nodiscard]] int SendText(platform::Socket s, std::string_view text);

enum class RelayStep {
  kMoved,       // bytes went from source to target (or there was nothing to move)
  kSourceDone,  // the source closed or failed: the relay of this pair is over
  kTargetDone,  // the target could not take the bytes
  kNoMemory,    // no relay buffer could be had
};

// A session's relay buffer (allocated on the first step) and the step itself.
class RelayBuffer {
 public:
  // Reads what source holds (at most kRelayChunk) and sends it to target with send_tries.
  [[nodiscard]] RelayStep Step(platform::Socket source, platform::Socket target, int send_tries);

 private:
  std::unique_ptr<char[]> data_;
};

}  // namespace proxies
