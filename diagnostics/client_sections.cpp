// Internet Explorer and Eudora: registry values and the first three account lines of the INI.
#include "diagnostics/client_sections.h"

#include <cstdio>
#include <string>

#include "diagnostics/client_paths.h"
#include "diagnostics/registry_text.h"
#include "diagnostics/report_texts.h"
#include "diagnostics/text_lines.h"

namespace diagnostics {
namespace {

using platform::Hive;
using platform::kErrorSuccess;

// Eudora lines copied, compared case-sensitively at the line start.
constexpr const char* kEudoraKeys[] = {"POPAccount", "SMTPServer", "ReturnAddress"};
constexpr int kEudoraLinesCopied = 3;

// "ProxyEnable" by its first byte: 0 disabled, 1 enabled, anything else an error with code 0.
void WriteProxyEnable(ReportWriter& w, const platform::RegKey& key) {
  uint8_t buffer[4] = {};
  uint32_t size = sizeof buffer;
  uint32_t type = platform::kRegNone;
  long rc = platform::RegQueryValue(key, "ProxyEnable", &type, buffer, &size);
  if (rc != kErrorSuccess) {
    w.WriteRegistryError(rc);
  } else if (size > 0 && buffer[0] == 0) {
    w.Write("Proxy is Disabled");
  } else if (size > 0 && buffer[0] == 1) {
    w.Write("Proxy is Enabled");
  } else {
    w.WriteRegistryError(0);
  }
}

bool IsEudoraLine(const std::string& line) {
  for (const char* key : kEudoraKeys) {
    if (line.starts_with(key)) return true;
  }
  return false;
}

void CopyEudoraLines(ReportWriter& w, std::FILE* file) {
  std::string line;
  int copied = 0;
  while (copied < kEudoraLinesCopied && ReadLine(file, &line)) {
    if (!IsEudoraLine(line)) continue;
    w.Write(line);
    if (line.back() != '\n') w.Write("\n");  // the file's last line had no line end
    ++copied;
  }
}

}  // namespace

void WriteExplorerSection(ReportWriter& w) {
  w.Write("SECTION : Internet Explorer\n");
  std::string value;
  long rc = ReadText(Hive::kLocalMachine, kExplorerKey, "Version", &value);
  if (rc != kErrorSuccess) {
    w.WriteRegistryError(rc);
    return;
  }
  w.WriteField("Version", value);
  platform::RegKey key;
  rc = platform::RegOpenKey(Hive::kCurrentUser, kInternetSettingsKey, &key);
  if (rc == kErrorSuccess) rc = ReadText(key, "ProxyServer", &value);
  if (rc != kErrorSuccess) {
    w.WriteRegistryError(rc);
    return;
  }
  w.Write(value);
  w.Write("\n");
  WriteProxyEnable(w, key);
  w.Write("\n\n");
}

void WriteEudoraSection(ReportWriter& w) {
  w.Write("SECTION : Eudora Mail Client\n");
  std::string path;
  long rc = EudoraIniPath(&path);
  if (rc != kErrorSuccess) {
    w.WriteRegistryError(rc);
  } else if (std::FILE* file = std::fopen(path.c_str(), "r"); file == nullptr) {
    w.Write(kE113);
  } else {
    CopyEudoraLines(w, file);
    std::fclose(file);
  }
  w.Write("\n");
}

}  // namespace diagnostics
