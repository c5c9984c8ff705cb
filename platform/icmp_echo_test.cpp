// ICMP echo against loopback, and inside a private network namespace that ignores echoes.
#include "platform/icmp_echo.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace platform {
namespace {

const std::vector<uint8_t> kData(32, 'x');

bool WriteProcFile(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  return static_cast<bool>(out.flush());
}

bool LoopbackUp() {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  ifreq req{};
  std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(fd, SIOCGIFFLAGS, &req) == 0;
  req.ifr_flags |= IFF_UP;
  ok = ok && ioctl(fd, SIOCSIFFLAGS, &req) == 0;
  close(fd);
  return ok;
}

// Runs body in a child inside a fresh network namespace with loopback up and the given sysctls.
// Returns body's result (0..199), 250 when the namespace could not be set up, -1 on a crash.
int InPrivateNamespace(const std::vector<std::pair<std::string, std::string>>& sysctls,
                       const std::function<int()>& body) {
  pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0 || !LoopbackUp()) _exit(250);
    for (const auto& [path, value] : sysctls) {
      if (!WriteProcFile(path, value)) _exit(250);
    }
    _exit(body());
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

uint32_t Loopback() { return inet_addr("127.0.0.1"); }

TEST(InternetChecksum, MatchesKnownValues) {
  // Echo request, id 1, seq 1, no data: the checksum of 08 00 00 00 00 01 00 01.
  const std::vector<uint8_t> header = {8, 0, 0, 0, 0, 1, 0, 1};
  EXPECT_EQ(InternetChecksum(header), 0xf7fd);
  // An odd length pads with a zero byte.
  const std::vector<uint8_t> odd = {0x01};
  EXPECT_EQ(InternetChecksum(odd), 0xfeff);
}

TEST(IcmpEcho, LoopbackAnswers) {
  IcmpEcho echo;
  if (echo.Open() != 0) GTEST_SKIP() << "neither ping socket nor raw socket may be opened";
  EXPECT_EQ(echo.SendEcho(Loopback(), kData, IcmpOptions{}, 1000), 1);
  // A second request on the same socket is matched by its own sequence number.
  EXPECT_EQ(echo.SendEcho(Loopback(), kData, IcmpOptions{}, 1000), 1);
}

TEST(IcmpEcho, ClosedSocketCannotSend) {
  IcmpEcho echo;
  EXPECT_EQ(echo.SendEcho(Loopback(), kData, IcmpOptions{}, 10), -1);
}

TEST(IcmpEcho, IgnoredEchoGivesNoReplyWithinTimeout) {
  int result = InPrivateNamespace({{"/proc/sys/net/ipv4/icmp_echo_ignore_all", "1"}}, [] {
    IcmpEcho echo;
    if (echo.Open() != 0) return 250;
    return echo.SendEcho(Loopback(), kData, IcmpOptions{}, 1000);
  });
  if (result == 250) GTEST_SKIP() << "no private network namespace or ICMP socket here";
  EXPECT_EQ(result, 0);
}

TEST(IcmpEcho, PingSocketPathAnswersWhenAllowed) {
  int result = InPrivateNamespace({{"/proc/sys/net/ipv4/ping_group_range", "0 2147483647"}}, [] {
    IcmpEcho echo;
    if (echo.Open() != 0) return 250;
    if (echo.uses_raw_socket()) return 251;
    return echo.SendEcho(Loopback(), kData, IcmpOptions{}, 1000);
  });
  if (result == 250) GTEST_SKIP() << "no private network namespace or ICMP socket here";
  EXPECT_EQ(result, 1);
}

}  // namespace
}  // namespace platform
