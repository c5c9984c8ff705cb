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

// 0: the gateway answered; -1: no reply, or the test was not possible; -2: address is empty
// or not a dotted IPv4 address.
[[nodiscard]] int PingGateway(const std::string& address);

enum class TestState { kNotTested, kTestSuccessful, kTestFailed, kBadIpAddress };
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
