// Sections 10 and 11 of the report, written by one call because the network adapter list
// leaves out the dial-up adapters' addresses. Used by the thread running the report; the
// agent is used by that thread only for the call.
#pragma once

#include "diagnostics/report_writer.h"
#include "platform/snmp_agent.h"

namespace diagnostics {

// Writes the Dial-Up Adapters and the Network Adapters sections, each flushed when finished.
// agent answers the MIB-II queries; its Init is called here (a failure is shown and the list
// is still asked for).
void WriteAdapterSections(ReportWriter& w, platform::SnmpAgent& agent);

}  // namespace diagnostics
