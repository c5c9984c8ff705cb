// The configuration run behind the "Setup Information" dialog's OK: checks, hosts file and
// name servers, the selected configurators in their fixed order, the stored Workstation values
// and the closing message. Runs on the GUI thread; the dialog supplies the hooks.
#pragma once

#include <functional>
#include <string>

#include "clientsetup/mail_config.h"
#include "clientsetup/setup_settings.h"

namespace clientsetup {

// What the run asks of its surroundings; each has a working default but the gateway test.
struct SetupHooks {
  // Runs the gateway test (updating the dialog's indicator) and returns PingGateway's result.
  std::function<int()> test_gateway;
  // FindRunningProcess.
  std::function<int(const std::string&)> find_process;
  // Asks where PointCast's pcn.ini is; false when the user cancels.
  std::function<bool(std::string* ini_path)> choose_pointcast_ini;
  ShowHelpFunction show_help;
};

// The result of a run that stopped: the dialog stays open with its values.
inline constexpr int kRunStopped = -1;

// Runs the configuration. Returns kRunStopped, or the dialog's result: 1 when neither
// Exchange nor Pegasus is selected (the program ends), else 0 (the utility stays open).
[[nodiscard]] int RunConfiguration(const SetupSettings& settings, const SetupHooks& hooks);

// The hooks of the real program around a given gateway test.
[[nodiscard]] SetupHooks DefaultHooks(std::function<int()> test_gateway);

}  // namespace clientsetup
