// The journal's native protocol: a datagram of newline-ended FIELD=value lines. A value with a
// line end in it would need the protocol's binary form; the access log encodes those bytes, so
// the plain form is enough and such a value is refused rather than cut.
#include "platform/journal_sender.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

std::string SocketPath() {
  const char* test = std::getenv(kJournalSocketTestVariable);
  return test != nullptr && test[0] != '\0' ? test : kJournalSocketPath;
}

bool Set(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && v[0] != '\0';
}

}  // namespace

bool UnderJournal() {
  if (Set("JOURNAL_STREAM")) return true;
  struct stat st {};
  if (stat(SocketPath().c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
  // The service manager gives every unit it starts an invocation id.
  return Set("INVOCATION_ID") || getppid() == 1;
}

bool JournalSender::Open(const std::string& identifier) {
  Close();
  path_ = SocketPath();
  identifier_ = identifier;
  sockaddr_un probe{};
  if (path_.size() >= sizeof probe.sun_path) return false;
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  return fd_ >= 0;
}

bool JournalSender::Send(const std::string& message) {
  if (fd_ < 0 || message.find('\n') != std::string::npos) return false;
  const std::string entry =
      "MESSAGE=" + message + "\nSYSLOG_IDENTIFIER=" + identifier_ + "\nPRIORITY=6\n";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path_.data(), path_.size());
  ssize_t sent;
  do {
    sent = sendto(fd_, entry.data(), entry.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(entry.size());
}

void JournalSender::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace platform
