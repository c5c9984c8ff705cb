// The notify datagram.
#include "platform/service_notify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace platform {

bool NotifyServiceManager(const std::string& text) {
  const char* target = std::getenv("NOTIFY_SOCKET");
  if (target == nullptr || target[0] == '\0') return false;
  const size_t length = std::strlen(target);
  sockaddr_un address{};
  if (length >= sizeof(address.sun_path) || (target[0] != '/' && target[0] != '@')) {
    return false;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, target, length);
  if (target[0] == '@') address.sun_path[0] = '\0';  // abstract name
  const auto address_length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
  const int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  const ssize_t sent = sendto(s, text.data(), text.size(), MSG_NOSIGNAL,
                              reinterpret_cast<const sockaddr*>(&address), address_length);
  close(s);
  return sent == static_cast<ssize_t>(text.size());
}

}  // namespace platform
