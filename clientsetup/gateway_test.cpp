// ICMP gateway test and the process search over the platform's process list.
#include "clientsetup/gateway_test.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

#include "platform/admin_message.h"
#include "platform/icmp_echo.h"
#include "platform/os_info.h"
#include "platform/socket.h"

namespace clientsetup {
namespace {

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::vector<uint8_t> EchoData(size_t size) {
  std::vector<uint8_t> data(size);
  uint8_t value = 32;
  for (uint8_t& byte : data) {
    byte = value;
    value = value >= 125 ? 32 : static_cast<uint8_t>(value + 1);
  }
  return data;
}

int PingGateway(const std::string& address) {
  if (address.empty()) return -2;
  platform::IcmpEcho echo;
  if (echo.Open() != 0) return kPingNotPermitted;
  // inet_addr's own reading of the text, as the test always had: "gateway" is no address,
  // and neither is 255.255.255.255.
  const in_addr_t target = inet_addr(address.c_str());
  if (target == INADDR_NONE) return -2;
  const std::vector<uint8_t> data = EchoData(kEchoDataSize);
  const platform::IcmpOptions options{64, 0, true};
  return echo.SendEcho(target, data, options, kEchoTimeoutMs) > 0 ? 0 : -1;
}

int TcpTestGateway(const std::string& address, uint16_t port, int timeout_ms) {
  in_addr parsed{};
  if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return -2;
  platform::Socket s = platform::CreateSocket(SOCK_STREAM);
  if (s == platform::kInvalidSocket) return -1;
  const int rc = platform::Connect(s, address, port, timeout_ms);
  platform::CloseSocket(s);
  return rc == 0 ? 0 : -1;
}

int TestGatewayReachable(const std::string& address, TestState* state) {
  int result = PingGateway(address);
  if (result == kPingNotPermitted &&
      platform::ShowAdminMessage(
          "Test Connectivity",
          "This machine does not let programs send an ICMP echo (ping), so the gateway cannot "
          "be tested that way.\n\nTest a connection to the gateway's web proxy port (TCP " +
              std::to_string(kGatewayWebPort) + ") instead?",
          platform::MessageIcon::kQuestion, platform::MessageButtons::kYesNo) == platform::kIdYes) {
    result = TcpTestGateway(address, kGatewayWebPort, kEchoTimeoutMs);
  }
  *state = TestStateFor(result);
  return result;
}

TestState TestStateFor(int ping_result) {
  if (ping_result == 0) return TestState::kTestSuccessful;
  if (ping_result == -2) return TestState::kBadIpAddress;
  if (ping_result == kPingNotPermitted) return TestState::kCannotTest;
  return TestState::kTestFailed;
}

const char* TestStateText(TestState state) {
  switch (state) {
    case TestState::kNotTested:
      return "Not Tested";
    case TestState::kTestSuccessful:
      return "Test Successful";
    case TestState::kTestFailed:
      return "Test Failed";
    case TestState::kBadIpAddress:
      return "Bad IP Address";
    case TestState::kCannotTest:
      return "Cannot Test";
  }
  return "";
}

int FindInProcessList(const std::vector<platform::ProcessInfo>& processes,
                      const std::string& wanted, bool win95) {
  const std::string needle = Lowered(wanted);
  for (const platform::ProcessInfo& process : processes) {
    const std::string name = Lowered(win95 ? process.name : process.exe_path);
    if (name.find(needle) != std::string::npos) return 1;
  }
  return 0;
}

int FindRunningProcess(const std::string& wanted) {
  std::vector<platform::ProcessInfo> processes;
  if (platform::ListProcesses(&processes) != 0) return -1;
  return FindInProcessList(processes, wanted, platform::IsWin95Family());
}

}  // namespace clientsetup
