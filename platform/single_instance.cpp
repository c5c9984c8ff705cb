// flock on "<store>.lock" and an abstract-namespace Unix datagram socket named from a hash of
// the store's absolute path.
#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "platform/message_queue.h"
#include "platform/socket.h"

namespace platform {
namespace {

std::string AbsolutePath(const std::string& path) {
  char buf[PATH_MAX];
  if (realpath(path.c_str(), buf)) return buf;
  if (!path.empty() && path[0] == '/') return path;
  if (getcwd(buf, sizeof buf)) return std::string(buf) + "/" + path;
  return path;
}

sockaddr_un ChannelAddress(const std::string& store_path, socklen_t* len) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::string name = "wayfarer-instance-" +
                     std::to_string(std::hash<std::string>{}(AbsolutePath(store_path)));
  // Abstract namespace: a leading zero byte, no file to clean up after a crash.
  std::memcpy(a.sun_path + 1, name.data(), name.size());
  *len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return a;
}

}  // namespace

SingleInstance::~SingleInstance() {
  if (channel_ >= 0) CloseSocket(channel_);
  if (lock_fd_ >= 0) close(lock_fd_);
}

bool SingleInstance::Acquire(const std::string& store_path) {
  std::string lock_path = store_path + ".lock";
  int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;  // no lock file possible (read-only place): run unguarded
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  lock_fd_ = fd;
  socklen_t len = 0;
  sockaddr_un a = ChannelAddress(store_path, &len);
  int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&a), len) == 0) {
    channel_ = s;
  } else if (s >= 0) {
    close(s);
  }
  return true;
}

bool SingleInstance::ReadRequest(std::string* request) {
  if (channel_ < 0) return false;
  char buf[64];
  ssize_t n = recv(channel_, buf, sizeof buf, MSG_DONTWAIT);
  NoteSocketCall(channel_);
  if (n < 0) return false;
  request->assign(buf, static_cast<size_t>(n));
  return true;
}

bool SingleInstance::SignalRunning(const std::string& store_path, const std::string& request) {
  socklen_t len = 0;
  sockaddr_un a = ChannelAddress(store_path, &len);
  int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  bool sent = sendto(s, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&a), len) ==
              static_cast<ssize_t>(request.size());
  close(s);
  return sent;
}

}  // namespace platform
