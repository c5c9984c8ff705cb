// The simulated dial-up facility, for tests and demonstrations: phone-book entries are the
// subkeys of <remote-access key>\Simulator\Entries, whose values say how a dial of them goes.
// One line (one connection at a time). Each dial runs on a thread of its own that posts the
// progress; hang-up stops and joins it. Thread-safe: every member is guarded by mu_.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/dialup_facility.h"

namespace platform {

// Values of an entry's key (all optional):
//   DelayMs      DWORD  time from the start of the dial to its outcome (default 0)
//   Result       DWORD  0: the line connects; else the error code the dial fails with
//   DropAfterMs  DWORD  0: the connection stays; else it drops this long after it was made
//   LocalAddress, ServerAddress  REG_SZ  the link's addresses (10.0.0.2 and 10.0.0.1)
//   User, Password  REG_SZ  when present, other credentials fail with kDialErrorAuthentication
[[nodiscard]] std::string SimulatorEntriesKeyPath();

class SimulatedDialup : public DialupFacility {
 public:
  SimulatedDialup() = default;
  ~SimulatedDialup() override;

  long Dial(const DialParams& params, TargetId notify, DialHandle* handle) override;
  long HangUp(DialHandle handle) override;
  long GetConnectStatus(DialHandle handle, DialStatus* status) override;
  long EnumConnections(size_t room, std::vector<ActiveConnection>* out) override;
  long EnumEntries(std::vector<std::string>* out) override;
  long GetProjection(DialHandle handle, LinkAddresses* out) override;

 private:
  struct Script {
    unsigned delay_ms = 0;
    long result = 0;
    unsigned drop_after_ms = 0;
    LinkAddresses addresses;
  };
  struct Call {
    std::string entry;
    TargetId notify = 0;
    int state = kDialOpenPort;
    long error = 0;
    bool hung_up = false;
    Script script;
    std::thread worker;
  };

  void RunCall(Call* call);
  // Waits up to ms unless the call is hung up meanwhile; false when it was. Holds lock.
  bool Pause(std::unique_lock<std::mutex>& lock, Call* call, unsigned ms);
  // Sets the state and posts it, both under mu_, so nothing is posted after a hang-up.
  void Report(Call* call, int state, long error);

  std::mutex mu_;
  std::condition_variable cv_;
  std::map<DialHandle, std::unique_ptr<Call>> calls_;  // guarded by mu_
  DialHandle next_handle_ = 1;                         // guarded by mu_
};

}  // namespace platform
