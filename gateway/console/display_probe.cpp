// The X server of DISPLAY ":N" or "unix:N" listens on /tmp/.X11-unix/XN; a connection that is
// accepted there is enough to know Qt can open it.
#include "gateway/console/display_probe.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace console {
namespace {

bool UnixSocketAccepts(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

bool WaylandReachable(const std::string& name) {
  std::string path = name;
  if (path.empty() || path[0] != '/') {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr) return false;
    path = std::string(runtime) + "/" + name;
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

bool XReachable(const std::string& display) {
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  std::string number = display.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  if (number.empty() || number.size() > 6 ||
      number.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  if (!host.empty() && host != "unix") return true;
  return UnixSocketAccepts("/tmp/.X11-unix/X" + number);
}

}  // namespace

bool DisplayReachable(std::string* why) {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland != nullptr && *wayland != '\0' && WaylandReachable(wayland)) {
    *why = std::string("Wayland display ") + wayland;
    return true;
  }
  const char* x = std::getenv("DISPLAY");
  if (x != nullptr && *x != '\0') {
    if (XReachable(x)) {
      *why = std::string("display ") + x;
      return true;
    }
    *why = std::string("display ") + x + " cannot be reached";
    return false;
  }
  *why = "no display";
  return false;
}

}  // namespace console
