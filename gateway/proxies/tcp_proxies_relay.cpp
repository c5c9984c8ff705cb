// The bounded send of the FTP and Telnet sessions' own texts.
#include "gateway/proxies/tcp_proxies_relay.h"

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

}  // namespace proxies
