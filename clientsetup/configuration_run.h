// The configuration run behind the "Setup Information" dialog's OK: checks, hosts file and
// name servers, the selected configurators in their fixed order, the stored Workstation values
// and the closing message. Runs on the GUI thread; the dialog supplies the hooks.
#pragma once

#include <functional>
#include <string>

#include "clientsetup/change_journal.h"
#include "clientsetup/desktop_change.h"
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
  // The desktop configurators of this PC; not run when empty (the stored values only).
  std::function<void(const SetupSettings&, RunReport*)> configure_desktop;
  // Where the run keeps what it replaces for Restore; null keeps nothing.
  ChangeJournal* journal = nullptr;
};

// The result of a run that stopped: the dialog stays open with its values.
inline constexpr int kRunStopped = -1;

// Runs the configuration. Returns kRunStopped, or the dialog's result: 1 when neither
// Exchange nor Pegasus is selected (the program ends), else 0 (the utility stays open).
// "Setup Complete" comes only when nothing failed; otherwise the closing message lists what
// failed.
[[nodiscard]] int RunConfiguration(const SetupSettings& settings, const SetupHooks& hooks);

// The hooks of the real program around a given gateway test; with desktop, also the desktop
// configurators and the user's Restore journal.
[[nodiscard]] SetupHooks DefaultHooks(std::function<int()> test_gateway, bool desktop);

}  // namespace clientsetup
