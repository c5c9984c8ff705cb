// Report sections of single client programs: Internet Explorer's proxy values and the Eudora
// INI lines. Used by the thread running the report.
#pragma once

#include "diagnostics/report_writer.h"

namespace diagnostics {

inline constexpr char kExplorerKey[] = "Software\\Microsoft\\Internet Explorer";
inline constexpr char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

void WriteExplorerSection(ReportWriter& w);
void WriteEudoraSection(ReportWriter& w);

}  // namespace diagnostics
