// The desktop part of a configuration run: what this Linux PC really runs (Firefox,
// Thunderbird, the desktop's proxy, the command-line tools' proxy, the name servers in use),
// the run's closing text from its report, and "Restore", which puts back what the runs
// replaced. Used only by the GUI thread.
#pragma once

#include <string>

#include "clientsetup/change_journal.h"
#include "clientsetup/desktop_change.h"
#include "clientsetup/setup_settings.h"

namespace clientsetup {

// Every desktop configurator, each where its program is installed; outcomes go to report.
void ConfigureDesktop(const SetupSettings& settings, ChangeJournal* journal, RunReport* report);

// The report as text: what failed, what was changed, what was left as it was.
[[nodiscard]] std::string ReportText(const RunReport& report);

// Puts back everything journal kept and tells the user what was restored or not.
// 0 when everything was put back, else -1.
int RestoreDesktop(ChangeJournal* journal);

}  // namespace clientsetup
