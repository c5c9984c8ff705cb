// The report run: file, heading, the sections in their fixed order.
#include "diagnostics/diag_report.h"

#include <cstdio>

#include "diagnostics/adapter_sections.h"
#include "diagnostics/client_sections.h"
#include "diagnostics/desktop_sections.h"
#include "diagnostics/netscape_sections.h"
#include "diagnostics/report_texts.h"
#include "diagnostics/report_writer.h"
#include "diagnostics/system_sections.h"
#include "platform/admin_message.h"
#include "platform/os_info.h"

namespace diagnostics {

int WriteDiagReport(const std::string& path, platform::SnmpAgent* agent) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    platform::ShowAdminMessage(kErrorCaption, kE102, platform::MessageIcon::kExclamation);
    return -1;
  }
  ReportWriter w(file);
  w.Write(kReportHeading);
  const bool desktop = agent == nullptr;
  bool win95 = WriteOperatingSystemSection(w, desktop);
  w.Flush();
  WriteHostsSection(w, platform::HostsFilePath());
  w.Flush();
  WriteDnsSection(w, win95, desktop);
  w.Flush();
  WriteDefaultBrowserSection(w, desktop);
  w.Flush();
  WriteNavigatorSection(w);
  w.Flush();
  WriteCommunicatorSection(w);
  w.Flush();
  WriteExplorerSection(w);
  w.Flush();
  WriteDefaultMailSection(w);
  w.Flush();
  WriteEudoraSection(w);
  w.Flush();
  if (desktop) {
    WriteDesktopProxySection(w, StoredGateway());
    w.Flush();
  }
  platform::SnmpAgent machine_agent;
  WriteAdapterSections(w, agent != nullptr ? *agent : machine_agent);
  WriteProductSection(w);
  w.Flush();
  // A report that could not be written whole (a full disk) is not reported as written.
  bool write_failed = std::ferror(file) != 0;
  if (std::fclose(file) != 0 || write_failed) {
    platform::ShowAdminMessage(kErrorCaption, kE102, platform::MessageIcon::kExclamation);
    return -1;
  }
  return 0;
}

}  // namespace diagnostics
