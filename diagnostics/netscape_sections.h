// The two Netscape sections of the report: Navigator 3.x from its registry keys and
// Communicator 4.x from the current user's Prefs.js. Used by the thread running the report.
#pragma once

#include <string>

#include "diagnostics/report_writer.h"

namespace diagnostics {

inline constexpr char kNavigatorKey[] = "Software\\Netscape\\Netscape Navigator";

void WriteNavigatorSection(ReportWriter& w);
void WriteCommunicatorSection(ReportWriter& w);

// Writes the report lines for one Prefs.js line: one line per known preference it contains.
void WritePrefsLine(ReportWriter& w, const std::string& line);

}  // namespace diagnostics
