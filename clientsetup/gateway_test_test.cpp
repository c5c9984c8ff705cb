// The gateway test (real ICMP echo on loopback and in a private network namespace) and the
// process search.
#include "clientsetup/gateway_test.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "platform/icmp_echo.h"

namespace clientsetup {
namespace {

bool CanOpenIcmp() {
  platform::IcmpEcho echo;
  return echo.Open() == 0;
}

TEST(EchoData, BlankToQuestionMarkThenWraps) {
  const std::vector<uint8_t> data = EchoData(kEchoDataSize);
  ASSERT_EQ(data.size(), 32u);
  EXPECT_EQ(data.front(), ' ');
  EXPECT_EQ(data.back(), '?');
  const std::vector<uint8_t> longer = EchoData(100);
  EXPECT_EQ(longer[93], 125);
  EXPECT_EQ(longer[94], 32);
}

TEST(PingGateway, BadAddressesAndLoopback) {
  EXPECT_EQ(PingGateway(""), -2);
  if (!CanOpenIcmp()) GTEST_SKIP() << "neither ping socket nor raw socket may be opened";
  EXPECT_EQ(PingGateway("gateway"), -2);
  EXPECT_EQ(PingGateway("127.0.0.1"), 0);
  EXPECT_EQ(TestStateFor(PingGateway("gateway")), TestState::kBadIpAddress);
  EXPECT_STREQ(TestStateText(TestStateFor(-1)), "Test Failed");
}

// In a fresh network namespace whose loopback ignores echo requests, the test fails.
TEST(PingGateway, UnansweredEchoFails) {
  pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0) _exit(250);
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq req{};
    std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
    if (fd < 0 || ioctl(fd, SIOCGIFFLAGS, &req) != 0) _exit(250);
    req.ifr_flags |= IFF_UP;
    if (ioctl(fd, SIOCSIFFLAGS, &req) != 0) _exit(250);
    std::ofstream("/proc/sys/net/ipv4/icmp_echo_ignore_all") << "1";
    if (!CanOpenIcmp()) _exit(250);
    _exit(PingGateway("127.0.0.1") + 100);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 250) GTEST_SKIP() << "no private network namespace here";
  EXPECT_EQ(WEXITSTATUS(status) - 100, -1);
}

TEST(ProcessSearch, MatchesInsideNameIgnoringCaseByFamily) {
  const std::vector<platform::ProcessInfo> list = {
      {1, "/opt/Netscape/Program/NETSCAPE.EXE", "NETSCAPE.EXE"},
      {2, "", "msimn.exe"},  // path not readable
  };
  EXPECT_EQ(FindInProcessList(list, "netscape.exe", false), 1);
  EXPECT_EQ(FindInProcessList(list, "msimn.exe", false), 0);
  EXPECT_EQ(FindInProcessList(list, "msimn.exe", true), 1);
  EXPECT_EQ(FindInProcessList(list, "nsnotify.exe", true), 0);
}

TEST(ProcessSearch, FindsThisTestRunning) {
  EXPECT_EQ(FindRunningProcess("CLIENTSETUP_TEST"), 1);
  EXPECT_EQ(FindRunningProcess("no-such-program.exe"), 0);
}

}  // namespace
}  // namespace clientsetup
