// The relay step and the bounded send of the FTP and Telnet sessions.
#include "gateway/proxies/tcp_proxies_relay.h"

#include <new>

#include "gateway/engine/gateway_app.h"
#include "platform/admin_message.h"
#include "platform/socket_errors.h"

namespace proxies {

int SendWithRetry(platform::Socket s, const char* data, size_t n, int tries) {
  int failures = 0;
  while (n > 0) {
    int sent = platform::Send(s, data, n);
    if (sent >= 0) {
      data += sent;
      n -= static_cast<size_t>(sent);
      continue;
    }
    int err = platform::LastSocketError();
    if (err != platform::kWsaEWouldBlock && err != platform::kWsaENoBufs) return -1;
    if (++failures >= tries) return -1;
    // Wait for room instead of sleeping blind: the same bound, no delay once there is room.
    if (platform::WaitWritable(s, kSendWaitMs) < 0) return -1;
  }
  return 0;
}

int SendText(platform::Socket s, std::string_view text) {
  // A text is short; a peer that cannot take it within about 5 s is gone.
  constexpr int kTextTries = 100;
  return SendWithRetry(s, text.data(), text.size(), kTextTries);
}

RelayStep RelayBuffer::Step(platform::Socket source, platform::Socket target, int send_tries) {
  if (!data_) {
    data_.reset(new (std::nothrow) char[kRelayChunk]);
    if (!data_) {
      platform::ShowAdminMessage(engine::kAppCaption, engine::kE10001,
                                 platform::MessageIcon::kError);
      return RelayStep::kNoMemory;
    }
  }
  unsigned long waiting = 0;
  if (platform::BytesWaiting(source, &waiting) != 0) return RelayStep::kSourceDone;
  // A stale event (nothing waiting) still reads once, so the read event is armed again and a
  // close that came meanwhile is seen.
  size_t want = waiting == 0 ? 1 : (waiting < kRelayChunk ? waiting : kRelayChunk);
  int r = platform::Recv(source, data_.get(), want);
  if (r < 0) {
    return platform::LastSocketError() == platform::kWsaEWouldBlock ? RelayStep::kMoved
                                                                     : RelayStep::kSourceDone;
  }
  if (r == 0) return RelayStep::kSourceDone;
  if (SendWithRetry(target, data_.get(), static_cast<size_t>(r), send_tries) != 0) {
    return RelayStep::kTargetDone;
  }
  return RelayStep::kMoved;
}

}  // namespace proxies
