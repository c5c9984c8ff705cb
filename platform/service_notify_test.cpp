// The readiness datagram reaches a socket named by a path or an abstract name, and nothing is
// sent without a manager.
#include "platform/service_notify.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace platform {
namespace {

// A bound datagram socket standing in for the manager; name starts with '@' for abstract.
int Manager(const std::string& name) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path, name.data(), name.size());
  if (name[0] == '@') a.sun_path[0] = '\0';
  int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
  EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a),
                 static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size())),
            0);
  return s;
}

std::string Received(int s) {
  char buf[256];
  ssize_t n = recv(s, buf, sizeof buf, 0);
  return n < 0 ? "" : std::string(buf, static_cast<size_t>(n));
}

TEST(ServiceNotify, ReachesPathAndAbstractSockets) {
  char dir[] = "/tmp/notify-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/notify";
  const std::string abstract = "@wayfarer-notify-test-" + std::to_string(getpid());
  for (const std::string& name : {path, abstract}) {
    int s = Manager(name);
    setenv("NOTIFY_SOCKET", name.c_str(), 1);
    EXPECT_TRUE(NotifyServiceManager("READY=1\nSTATUS=up"));
    EXPECT_EQ(Received(s), "READY=1\nSTATUS=up") << name;
    close(s);
  }
  unlink(path.c_str());
  rmdir(dir);
}

TEST(ServiceNotify, NoManagerOrABadNameSendsNothing) {
  unsetenv("NOTIFY_SOCKET");
  EXPECT_FALSE(NotifyServiceManager("READY=1"));
  setenv("NOTIFY_SOCKET", "relative/name", 1);
  EXPECT_FALSE(NotifyServiceManager("READY=1"));
  setenv("NOTIFY_SOCKET", "/nonexistent-dir/notify", 1);
  EXPECT_FALSE(NotifyServiceManager("READY=1"));
  unsetenv("NOTIFY_SOCKET");
}

}  // namespace
}  // namespace platform
