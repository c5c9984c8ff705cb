// The two probes the configuration run relies on: PingGateway (one ICMP echo to the gateway)
// with the test indicator's states, and FindRunningProcess (is a client program running).
// Both block the calling thread (the GUI thread) for at most the echo timeout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/process_list.h"

namespace clientsetup {

inline constexpr size_t kEchoDataSize = 32;
inline constexpr int kEchoTimeoutMs = 1000;

// Echo request data: byte i holds 32 + i, wrapping back to 32 after 125.
[[nodiscard]] std::vector<uint8_t> EchoData(size_t size);

inline constexpr int kPingNotPermitted = -3;
inline constexpr uint16_t kGatewayWebPort = 80;

// 0: the gateway answered; -1: no reply; -2: address is empty or not a dotted IPv4 address;
// kPingNotPermitted: this machine lets the program open neither a ping nor a raw socket.
[[nodiscard]] int PingGateway(const std::string& address);
// 0 when a TCP connection to address:port is accepted within timeout_ms, else -1; -2 as above.
[[nodiscard]] int TcpTestGateway(const std::string& address, uint16_t port, int timeout_ms);
enum class TestState { kNotTested, kTestSuccessful, kTestFailed, kBadIpAddress, kCannotTest };
// The dialog's test: PingGateway; when ICMP echo is not permitted, says so and offers a TCP
// test to the gateway's web port instead, whose result it returns (kPingNotPermitted when the
// user declines). *state is the indicator's new state.
[[nodiscard]] int TestGatewayReachable(const std::string& address, TestState* state);

[[nodiscard]] TestState TestStateFor(int ping_result);
[[nodiscard]] const char* TestStateText(TestState state);

// 1: a process whose file name contains wanted (letter case ignored) runs; 0: none;
// -1: the processes could not be listed. The NT family compares the executable's full path,
// the 95 family the process name.
[[nodiscard]] int FindRunningProcess(const std::string& wanted);
// The same search over a given list.
[[nodiscard]] int FindInProcessList(const std::vector<platform::ProcessInfo>& processes,
                                    const std::string& wanted, bool win95);

}  // namespace clientsetup
