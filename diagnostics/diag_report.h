// The diagnostics report: creates the report file and writes its heading and twelve sections
// in order, flushing after each. Only reads the machine's settings. Runs on the calling thread.
#pragma once

#include <string>

#include "platform/snmp_agent.h"

namespace diagnostics {

// Writes the report to path (created anew; an existing file is truncated). agent answers the
// MIB-II queries of the Network Adapters section; nullptr uses the machine's interfaces and
// reports the machine itself: its desktop lines come next to the stored values then.
// Returns 0 when the report was written; -1 when the file could not be created (nothing is
// written) or not written whole, after showing "E 102" to the user.
[[nodiscard]] int WriteDiagReport(const std::string& path, platform::SnmpAgent* agent = nullptr);

}  // namespace diagnostics
