// Helpers shared by the fuzz targets: the input as text, and a connected socket that holds the
// input and then reports the peer's close, for parsers that read from a client socket.
// Each fuzz process is single-threaded; nothing here is shared between threads.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

inline std::string Text(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// A stream socket whose peer wrote data (at most what the socket buffer takes) and closed.
// The caller closes it. -1 when the pair could not be made.
inline int SocketHolding(const uint8_t* data, size_t size) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return -1;
  int buffer = 1 << 20;
  setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  size_t sent = 0;
  while (sent < size) {
    ssize_t n = send(pair[1], data + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  close(pair[1]);
  return pair[0];
}

}  // namespace fuzz
