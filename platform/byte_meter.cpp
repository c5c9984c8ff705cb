// The calling thread's meter and its metered sockets.
#include "platform/byte_meter.h"

namespace platform {
namespace {

thread_local ByteMeter* t_meter = nullptr;
thread_local Socket t_sockets[kMeteredSockets] = {kInvalidSocket, kInvalidSocket, kInvalidSocket,
                                                  kInvalidSocket};

bool Metered(Socket s) {
  if (t_meter == nullptr || s == kInvalidSocket) return false;
  for (Socket m : t_sockets) {
    if (m == s) return true;
  }
  return false;
}

}  // namespace

void BindByteMeter(ByteMeter* meter) {
  t_meter = meter;
  for (Socket& m : t_sockets) m = kInvalidSocket;
}

bool MeterSocket(Socket s) {
  if (s == kInvalidSocket) return false;
  if (Metered(s)) return true;
  for (Socket& m : t_sockets) {
    if (m == kInvalidSocket) {
      m = s;
      return true;
    }
  }
  return false;
}

void UnmeterSocket(Socket s) {
  for (Socket& m : t_sockets) {
    if (m == s) m = kInvalidSocket;
  }
}

void CountReceived(Socket s, size_t n) {
  if (n > 0 && Metered(s)) t_meter->from_client.fetch_add(static_cast<int64_t>(n));
}

void CountSent(Socket s, size_t n) {
  if (n > 0 && Metered(s)) t_meter->to_client.fetch_add(static_cast<int64_t>(n));
}

}  // namespace platform
