// Test helper: a connected pair of loopback TCP sockets (ours, the peer's), closed with the
// object. Used by one test thread; the peer end may be handed to a thread the test joins.
#pragma once

#include <sys/socket.h>

#include "platform/socket.h"

namespace web {

struct LoopbackPair {
  LoopbackPair() {
    platform::Socket listener = platform::CreateSocket(SOCK_STREAM);
    if (platform::BindLoopback(listener, 0) == 0 && platform::Listen(listener, 1) == 0) {
      peer = platform::CreateSocket(SOCK_STREAM);
      if (platform::Connect(peer, "127.0.0.1", platform::LocalPort(listener)) == 0) {
        ours = platform::Accept(listener);
      }
    }
    platform::CloseSocket(listener);
  }
  ~LoopbackPair() {
    if (ours != platform::kInvalidSocket) platform::CloseSocket(ours);
    if (peer != platform::kInvalidSocket) platform::CloseSocket(peer);
  }
  platform::Socket ours = platform::kInvalidSocket;
  platform::Socket peer = platform::kInvalidSocket;
};

}  // namespace web
