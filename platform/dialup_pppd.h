// The pppd dial-up facility: entries are the files of the peers directory; a dial runs
// "pppd call ENTRY" with the credentials in a private 0600 options file (never on the command
// line), reads progress from pppd's output and checks the ppp interface; hang-up ends that
// pppd. One line: one pppd at a time. Each dial has a reader thread; every member is guarded
// by mu_.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/dialup_facility.h"
#include "platform/pppd_output.h"

namespace platform {

struct PppdConfig {
  std::string pppd_path = "/usr/sbin/pppd";
  std::string peers_dir = "/etc/ppp/peers";
  int hang_up_grace_ms = 5000;  // SIGTERM, then this long before SIGKILL
};

// $WAYFARER_PPPD and $WAYFARER_PPP_PEERS, else the values "Pppd" and "PeersDirectory" of the
// remote-access key, else the defaults above.
[[nodiscard]] PppdConfig LoadPppdConfig();

class PppdDialup : public DialupFacility {
 public:
  explicit PppdDialup(PppdConfig config);
  ~PppdDialup() override;

  long Dial(const DialParams& params, TargetId notify, DialHandle* handle) override;
  long HangUp(DialHandle handle) override;
  long GetConnectStatus(DialHandle handle, DialStatus* status) override;
  long EnumConnections(size_t room, std::vector<ActiveConnection>* out) override;
  long EnumEntries(std::vector<std::string>* out) override;
  long GetProjection(DialHandle handle, LinkAddresses* out) override;

 private:
  struct Call {
    std::string entry;
    TargetId notify = 0;
    pid_t pid = -1;
    int output = -1;          // read end of pppd's stdout and stderr
    std::string options_dir;  // private directory of the options file; "" once removed
    PppdProgress progress;
    int state = kDialOpenPort;
    long error = 0;
    bool hung_up = false;
    bool ended = false;  // pppd has exited and was reaped
    std::thread reader;
  };

  long StartPppd(const DialParams& params, Call* call);
  void ReadOutput(Call* call);
  void OnLine(Call* call, const std::string& line);
  void OnExit(Call* call, int wait_status);
  // Sets the state and posts it, under mu_, so nothing is posted after a hang-up.
  void Report(Call* call, int state, long error);

  PppdConfig config_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::map<DialHandle, std::unique_ptr<Call>> calls_;  // guarded by mu_
  DialHandle next_handle_ = 1;                         // guarded by mu_
};

}  // namespace platform
