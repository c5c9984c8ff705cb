// The Dial-Up Adapters section: the TCP/IP addresses of the two dial-up adapters of the
// Windows 95 network enumeration in the registry. Used by the thread running the report.
#pragma once

#include <string>

#include "diagnostics/report_writer.h"

namespace diagnostics {

inline constexpr char kNetEnumKey[] = "Enum\\Root\\Net";
inline constexpr char kDialUpAdapter[] = "Dial-Up Adapter";
inline constexpr char kVpnAdapter[] = "Dial-Up Adapter #2 (VPN Support)";

// The IP addresses the section printed ("" for an adapter without one); the network adapter
// list leaves them out.
struct DialUpAddresses {
  std::string adapter;
  std::string vpn;
};

// Writes the whole section (heading to the last line end).
DialUpAddresses WriteDialUpAdaptersSection(ReportWriter& w);

}  // namespace diagnostics
