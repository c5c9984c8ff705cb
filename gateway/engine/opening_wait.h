// The waits of a session's opening (request header, SOCKS request, log-ins, first lines,
// connects and the pauses between them): each waits on the session's own queue and the one
// socket it needs, so the kill message ends it at once, and every opening is bounded by
// OpeningDeadline (30 s without a byte, 120 s in all). Used only by the session's own thread.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/socket.h"

namespace engine {

inline constexpr int kOpeningQuietMs = 30 * 1000;
inline constexpr int kOpeningTotalMs = 120 * 1000;

// The bounds of one opening, counted from its start.
class OpeningDeadline {
 public:
  OpeningDeadline();
  // A byte arrived: the quiet time starts again.
  void Progress();
  // Milliseconds the opening may still wait (0: over).
  [[nodiscard]] int LeftMs() const;

 private:
  std::chrono::steady_clock::time_point total_end_;
  std::chrono::steady_clock::time_point quiet_end_;
};

enum class WaitResult { kReady, kTimedOut, kKilled };

// Waits at most timeout_ms until s is readable (a close, or a listener's pending connection,
// counts) or, with for_write, writable
// (a finished connect counts, whatever its outcome). Meanwhile the thread's messages are
// taken: a kill ends the wait with kKilled and stays queued for the session's loop; other
// messages are queued again afterwards, in order.
[[nodiscard]] WaitResult WaitInOpening(platform::Socket s, bool for_write, int timeout_ms);
// A pause that only a kill shortens.
[[nodiscard]] WaitResult PauseInOpening(int ms);
// A kill reached this thread during one of its opening waits.
[[nodiscard]] bool KilledInOpening();
// A new session starts on this (possibly reused) thread: no kill seen yet.
void ClearOpeningKill();

// Connects s (non-blocking, s renewed first when renew is set) within timeout_ms, waiting as
// above. 0, or kSocketError with LastSocketError set (kWsaETimedOut, kWsaEIntr when killed).
[[nodiscard]] int ConnectInOpening(platform::Socket s, const sockaddr_in& to, int timeout_ms,
                                   bool renew);
// The same to an IPv4 or IPv6 address in text, within a blocking connect's usual 21 s unless
// told; s is made a socket of the address's family first when it is not one already.
[[nodiscard]] int ConnectInOpening(platform::Socket s, const std::string& address, uint16_t port,
                                   int timeout_ms = 21000);

// After a last answer to a client whose bytes were never read: stops sending, then reads and
// drops what the client still sends until it closes (at most about a second and 256 KiB), so
// the close that follows is not a reset that destroys the answer. A kill ends it at once.
void DrainAfterAnswer(platform::Socket s);

}  // namespace engine
