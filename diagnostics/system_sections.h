// Report sections about the machine itself: operating system, hosts file, name servers, the
// default browser and mail programs, and the gateway product's own key.
// Each writes one whole section into the report; used by the thread running the report.
#pragma once

#include <string>

#include "diagnostics/report_writer.h"

namespace diagnostics {

inline constexpr char kNameServerKey95[] = "System\\CurrentControlSet\\Services\\VxD\\MSTCP";
inline constexpr char kNameServerKeyNt[] = "System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
inline constexpr char kProductKey[] = "Software\\Wayfarer Computer Products Ltd.\\Wayfarer\\2.0";

// Writes the Operating System section. Returns true when the machine is of the Windows 95
// family, false for Windows NT (also assumed for any other platform, which prints no OS line).
// With desktop, the Linux release and kernel follow.
bool WriteOperatingSystemSection(ReportWriter& w, bool desktop = false);

// The hosts file at hosts_path, its lines other than blank and comment lines. When the file
// cannot be opened the whole section, heading included, is replaced by the E 104 line.
void WriteHostsSection(ReportWriter& w, const std::string& hosts_path);

// The name-server values of the family's TCP/IP key.
// With desktop, the name servers in use follow.
void WriteDnsSection(ReportWriter& w, bool win95, bool desktop = false);

// With desktop, the desktop's default browser follows.
void WriteDefaultBrowserSection(ReportWriter& w, bool desktop = false);
void WriteDefaultMailSection(ReportWriter& w);
void WriteProductSection(ReportWriter& w);

}  // namespace diagnostics
