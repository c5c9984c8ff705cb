// Sections 1-4, 8 and 12 of the report: plain reads of the OS, a file and single registry keys.
#include "diagnostics/system_sections.h"

#include "diagnostics/desktop_sections.h"
#include "diagnostics/registry_text.h"
#include "diagnostics/report_texts.h"
#include "diagnostics/text_lines.h"
#include "platform/os_info.h"

namespace diagnostics {
namespace {

using platform::Hive;
using platform::kErrorSuccess;

// A shell command section: the key's default value unchanged, then two line ends; a failed read
// gives its error and, in the browser section only, still the two line ends.
void WriteCommandSection(ReportWriter& w, const char* heading, const char* key_path,
                         bool close_after_failure) {
  w.Write(heading);
  std::string command;
  long rc = ReadText(Hive::kClassesRoot, key_path, "", &command);
  if (rc != kErrorSuccess) {
    w.WriteRegistryError(rc);
    if (!close_after_failure) return;
  } else {
    w.Write(command);
  }
  w.Write("\n\n");
}

}  // namespace

bool WriteOperatingSystemSection(ReportWriter& w, bool desktop) {
  w.Write("SECTION : Operating System\n");
  platform::OsVersion version = platform::GetOsVersion();
  bool win95 = version.platform_id == platform::kPlatformWin95Family;
  if (win95) {
    w.Write("OS is Windows 95\n");
  } else if (version.platform_id == platform::kPlatformWinNt) {
    w.Write("OS is Windows NT\n");
  }
  if (desktop) WriteOsReleaseLines(w);
  w.Write("\n");
  return win95;
}

void WriteHostsSection(ReportWriter& w, const std::string& hosts_path) {
  std::FILE* file = std::fopen(hosts_path.c_str(), "r");
  if (file == nullptr) {
    w.Write(kE104);
    w.Write("\n\n");
    return;
  }
  w.Write("SECTION : Hosts File\n");
  std::string line;
  while (ReadLine(file, &line)) {
    if (line.empty() || line[0] == '#' || line[0] == '\n' || line[0] == '\r') continue;
    w.Write(line);
    if (line.back() != '\n') w.Write("\n");  // the file's last line had no line end
  }
  std::fclose(file);
  w.Write("\n\n");
}

void WriteDnsSection(ReportWriter& w, bool win95, bool desktop) {
  w.Write("SECTION : DNS Search Order\n");
  platform::RegKey key;
  long rc =
      platform::RegOpenKey(Hive::kLocalMachine, win95 ? kNameServerKey95 : kNameServerKeyNt, &key);
  std::string value;
  if (rc == kErrorSuccess) rc = ReadText(key, "NameServer", &value);
  if (rc != kErrorSuccess) {
    w.WriteRegistryError(rc);
  } else {
    w.WriteField("NameServer", value);
    for (const char* name : {"EnableDNS", "HostName", "Domain"}) {
      if (ReadText(key, name, &value) == kErrorSuccess) w.WriteField(name, value);
    }
  }
  if (desktop) WriteNameServersInUse(w, StoredGateway());
  w.Write("\n\n");
}

void WriteDefaultBrowserSection(ReportWriter& w, bool desktop) {
  if (!desktop) {
    WriteCommandSection(w, "SECTION : Default Browser\n", "HTTP\\shell\\open\\command", true);
    return;
  }
  w.Write("SECTION : Default Browser\n");
  std::string command;
  long rc = ReadText(Hive::kClassesRoot, "HTTP\\shell\\open\\command", "", &command);
  if (rc != kErrorSuccess) {
    w.WriteRegistryError(rc);
  } else {
    w.Write(command);
    w.Write("\n");
  }
  WriteDesktopBrowser(w);
  w.Write("\n\n");
}

void WriteDefaultMailSection(ReportWriter& w) {
  WriteCommandSection(w, "SECTION : Default Mail Client\n", "mailto\\shell\\open\\command", false);
}

void WriteProductSection(ReportWriter& w) {
  w.Write("SECTION : Wayfarer\n");
  platform::RegKey key;
  long rc = platform::RegOpenKey(Hive::kLocalMachine, kProductKey, &key);
  if (rc != kErrorSuccess) {
    w.WriteRegistryError(rc);
    return;
  }
  for (const char* name : {"Directory", "Installed", "BuildNum"}) {
    std::string value;
    rc = ReadText(key, name, &value);
    if (rc == kErrorSuccess) {
      w.WriteField(name, value);
    } else {
      w.WriteRegistryError(rc);
    }
  }
  w.Write("\n\n");
}

}  // namespace diagnostics
