// Counts the bytes a thread moves over its client-side sockets: a session thread binds its
// meter and names the sockets that face its client; every receive and send of this layer (and
// the relay's splices, which report here) on those sockets is then counted. The bindings are
// the calling thread's own; the counts are atomics so other threads may read them at any time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/socket.h"

namespace platform {

struct ByteMeter {
  std::atomic<int64_t> from_client{0};  // bytes received on the metered sockets
  std::atomic<int64_t> to_client{0};    // bytes sent on them
};

// How many sockets one thread meters at once (a control and a data connection, with room).
inline constexpr int kMeteredSockets = 4;

// Binds meter (not owned; it must outlive the binding) to the calling thread and forgets the
// sockets metered before. nullptr unbinds.
void BindByteMeter(ByteMeter* meter);
// Counts s on the calling thread from now on. False when every slot is taken.
bool MeterSocket(Socket s);
// Stops counting s (CloseSocket does this for the socket it closes).
void UnmeterSocket(Socket s);
// Bytes received from / sent to s by the calling thread; counted when s is metered.
void CountReceived(Socket s, size_t n);
void CountSent(Socket s, size_t n);

}  // namespace platform
