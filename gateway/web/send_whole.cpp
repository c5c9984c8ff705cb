// SendWhole.
#include "gateway/web/send_whole.h"

#include <sys/socket.h>

#include "platform/socket_errors.h"

namespace web {

int SendWhole(platform::Socket s, const char* data, size_t n) {
  int waits = 0;
  while (n > 0) {
    int sent = platform::Send(s, data, n, MSG_DONTROUTE);
    if (sent >= 0) {
      data += sent;
      n -= static_cast<size_t>(sent);
      continue;
    }
    int err = platform::LastSocketError();
    if (err != platform::kWsaEWouldBlock && err != platform::kWsaENoBufs) return -1;
    if (++waits > kSendTries || platform::WaitWritable(s, kSendWaitMs) < 0) return -1;
  }
  return 0;
}

}  // namespace web
