// Navigator 3.x registry values and Communicator 4.x preference lines, in the places and the
// line format the client setup utility writes them.
#include "diagnostics/netscape_sections.h"

#include <charconv>
#include <cstdio>
#include <string_view>

#include "diagnostics/client_paths.h"
#include "diagnostics/registry_text.h"
#include "diagnostics/report_texts.h"
#include "diagnostics/text_lines.h"

namespace diagnostics {
namespace {

using platform::Hive;
using platform::kErrorSuccess;

struct PrefsRow {
  const char* prefix;
  const char* label;
  const char* terminator;
};

constexpr char kTextEnd[] = "\");";
constexpr char kNumberEnd[] = ");";
constexpr char kConnectionType[] = "Connection Type";

constexpr PrefsRow kPrefsRows[] = {
    {"user_pref(\"network.proxy.http\", \"", "Http Proxy", kTextEnd},
    {"user_pref(\"network.proxy.ftp\", \"", "Ftp Proxy", kTextEnd},
    {"user_pref(\"network.hosts.nntp_server\", \"", "News Proxy", kTextEnd},
    {"user_pref(\"network.hosts.socks_server\", \"", "Socks Proxy", kTextEnd},
    {"user_pref(\"network.hosts.pop_server\", \"", "POP3 Proxy", kTextEnd},
    {"user_pref(\"network.hosts.smtp_server\", \"", "SMTP Proxy", kTextEnd},
    {"user_pref(\"mail.pop_name\", \"", "POP3 Account Name", kTextEnd},
    {"user_pref(\"mail.identity.reply_to\", \"", "Reply To", kTextEnd},
    {"user_pref(\"network.proxy.http_port\", ", "Http Proxy Port", kNumberEnd},
    {"user_pref(\"network.proxy.ftp_port\", ", "Ftp Proxy Port", kNumberEnd},
    {"user_pref(\"network.hosts.socks_serverport\", ", "Socks Proxy Port", kNumberEnd},
    {"user_pref(\"news.server_port\", ", "News Proxy Port", kNumberEnd},
    {"user_pref(\"network.proxy.type\", ", kConnectionType, kNumberEnd},
};

void WriteTextValue(ReportWriter& w, const platform::RegKey& key, const char* label,
                    const char* name) {
  std::string value;
  long rc = ReadText(key, name, &value);
  if (rc == kErrorSuccess) {
    w.WriteField(label, value);
  } else {
    w.WriteRegistryError(rc);
  }
}

void WriteNumberValue(ReportWriter& w, const platform::RegKey& key, const char* label,
                      const char* name) {
  uint32_t value = 0;
  long rc = ReadNumber(key, name, &value);
  if (rc == kErrorSuccess) {
    w.WriteNumberField(label, value);
  } else {
    w.WriteRegistryError(rc);
  }
}

// Opens the Navigator subkey; on failure writes its error and returns false.
bool OpenNavigatorKey(ReportWriter& w, const char* subkey, platform::RegKey* key) {
  long rc =
      platform::RegOpenKey(Hive::kCurrentUser, std::string(kNavigatorKey) + "\\" + subkey, key);
  if (rc != kErrorSuccess) w.WriteRegistryError(rc);
  return rc == kErrorSuccess;
}

// The "Services" key; the news port comes from "Proxy Information" (its read result in
// news_port_rc).
void WriteNavigatorServices(ReportWriter& w, long news_port_rc, uint32_t news_port) {
  platform::RegKey key;
  if (!OpenNavigatorKey(w, "Services", &key)) return;
  WriteTextValue(w, key, "News Proxy", "NNTP_Server");
  if (news_port_rc == kErrorSuccess) {
    w.WriteNumberField("News Proxy Port", news_port);
  } else {
    w.WriteRegistryError(news_port_rc);
  }
  WriteTextValue(w, key, "Socks Proxy", "SOCKS_Server");
  WriteNumberValue(w, key, "Socks Proxy Port", "SOCKS_ServerPort");
  WriteTextValue(w, key, "POP3 Proxy", "POP_Server");
  WriteTextValue(w, key, "SMTP Proxy", "SMTP_Server");
}

// A value of its own Navigator subkey: its field, or the error of the open or the read.
void WriteNavigatorValue(ReportWriter& w, const char* subkey, const char* label, const char* name) {
  platform::RegKey key;
  if (OpenNavigatorKey(w, subkey, &key)) WriteTextValue(w, key, label, name);
}

// The preference's value: the text after the prefix up to the terminator, or to the line end
// when a damaged line has no terminator.
std::string PrefsValue(const std::string& line, size_t start, const char* terminator) {
  size_t end = line.find(terminator, start);
  if (end == std::string::npos) {
    end = line.size();
    while (end > start && (line[end - 1] == '\n' || line[end - 1] == '\r')) --end;
  }
  return line.substr(start, end - start);
}

int64_t ParseConnectionType(const std::string& text) {
  int64_t type = -1;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), type);
  if (ec != std::errc() || end != text.data() + text.size()) return -1;
  return type;
}

}  // namespace

void WriteNavigatorSection(ReportWriter& w) {
  w.Write("SECTION : Netscape Navigator 3.x\n");
  platform::RegKey proxy;
  if (!OpenNavigatorKey(w, "Proxy Information", &proxy)) {
    w.Write("\n");
    return;
  }
  uint32_t proxy_type = 0;
  long rc = ReadNumber(proxy, "Proxy Type", &proxy_type);
  if (rc == kErrorSuccess) {
    w.WriteConnectionType(proxy_type);
  } else {
    w.WriteRegistryError(rc);
  }
  WriteTextValue(w, proxy, "Http Proxy", "HTTP_Proxy");
  WriteNumberValue(w, proxy, "Http Proxy Port", "Http_ProxyPort");
  WriteTextValue(w, proxy, "Ftp Proxy", "FTP_Proxy");
  WriteNumberValue(w, proxy, "Ftp Proxy Port", "Ftp_ProxyPort");
  uint32_t news_port = 0;
  long news_port_rc = ReadNumber(proxy, "News_ProxyPort", &news_port);
  WriteNavigatorServices(w, news_port_rc, news_port);
  WriteNavigatorValue(w, "Mail", "POP3 Account Name", "POP Name");
  WriteNavigatorValue(w, "User", "Reply To", "Reply_To");
  w.Write("\n\n");
}

void WritePrefsLine(ReportWriter& w, const std::string& line) {
  for (const PrefsRow& row : kPrefsRows) {
    size_t at = line.find(row.prefix);
    if (at == std::string::npos) continue;
    std::string value = PrefsValue(line, at + std::string_view(row.prefix).size(), row.terminator);
    if (row.label == kConnectionType) {
      w.WriteConnectionType(ParseConnectionType(value));
    } else {
      w.WriteField(row.label, value);
    }
  }
}

void WriteCommunicatorSection(ReportWriter& w) {
  w.Write("SECTION : Netscape Communicator 4.x\n");
  std::string path;
  long rc = NetscapePrefsPath(&path);
  if (rc != kErrorSuccess) {
    w.WriteRegistryError(rc);
  } else if (std::FILE* file = std::fopen(path.c_str(), "r"); file == nullptr) {
    w.Write(kE117);
    w.Write("\n");
  } else {
    std::string line;
    while (ReadLine(file, &line)) WritePrefsLine(w, line);
    std::fclose(file);
  }
  w.Write("\n\n");
}

}  // namespace diagnostics
