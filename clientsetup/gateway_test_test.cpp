// The gateway test (real ICMP echo on loopback and in a private network namespace) and the
// process search.
#include "clientsetup/gateway_test.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "platform/icmp_echo.h"
#include "platform/testing/message_recorder.h"

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

// Child side of the test below: 0 when every step went as expected, else the failing step.
int CheckTestWithoutIcmp() {
  if (unshare(CLONE_NEWNET) != 0) return 250;
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ifreq req{};
  std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
  if (fd < 0 || ioctl(fd, SIOCGIFFLAGS, &req) != 0) return 250;
  req.ifr_flags |= IFF_UP;
  if (ioctl(fd, SIOCSIFFLAGS, &req) != 0) return 250;
  // No group may open ping sockets here, and this process may not open raw ones.
  std::ofstream("/proc/sys/net/ipv4/ping_group_range") << "1 0";
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct caps[2] = {};
  if (syscall(SYS_capget, &header, caps) != 0) return 250;
  caps[CAP_NET_RAW / 32].effective &= ~(1u << (CAP_NET_RAW % 32));
  if (syscall(SYS_capset, &header, caps) != 0 || CanOpenIcmp()) return 250;
  if (PingGateway("127.0.0.1") != kPingNotPermitted) return 1;

  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(kGatewayWebPort);
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
      listen(listener, 4) != 0) {
    return 250;
  }
  TestState state = TestState::kNotTested;
  {
    platform::testing::MessageRecorder yes(platform::kIdYes);
    if (TestGatewayReachable("127.0.0.1", &state) != 0 || state != TestState::kTestSuccessful) {
      return 2;
    }
    if (yes.messages().size() != 1 ||
        yes.messages()[0].buttons != platform::MessageButtons::kYesNo) {
      return 3;
    }
    close(listener);
    if (TestGatewayReachable("127.0.0.1", &state) != -1 || state != TestState::kTestFailed)
      return 4;
  }
  platform::testing::MessageRecorder no(platform::kIdNo);
  if (TestGatewayReachable("127.0.0.1", &state) != kPingNotPermitted ||
      state != TestState::kCannotTest || std::string(TestStateText(state)) != "Cannot Test") {
    return 5;
  }
  return 0;
}

// Where ICMP echo is not permitted the test says so instead of failing, and offers a TCP test
// to the gateway's web port.
TEST(PingGateway, WithoutIcmpPermissionOffersTheWebPortTest) {
  pid_t child = fork();
  if (child == 0) _exit(CheckTestWithoutIcmp());
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 250) GTEST_SKIP() << "no private network namespace here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "step that failed";
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
