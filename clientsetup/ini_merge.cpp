// The merge engine and the Mosaic and PointCast tables.
#include "clientsetup/ini_merge.h"

#include <algorithm>

namespace clientsetup {
namespace {

constexpr int kHttpProxyPort = 80;
constexpr int kSocksPort = 1080;
constexpr int kNewsPort = 119;
constexpr int kSmtpPort = 25;

bool BeginsWith(const std::string& line, const std::string& prefix) {
  return line.compare(0, prefix.size(), prefix) == 0;
}

std::string HostPort(const std::string& host, int port) {
  return host + ":" + std::to_string(port);
}

std::vector<IniSection> MosaicSections(const SetupSettings& s) {
  std::vector<IniSection> sections;
  const std::string& gw = s.GatewayName;
  if (!s.UserName.empty()) {
    sections.push_back({"[Main]", 2, SectionEnd::kLineContainsBracket,
                        {{"E-mail", "E-mail=" + s.ReturnAddress + "\n", false, 1},
                         {"Name", "Name=" + s.UserName + "\n", false, 2}}});
  }
  sections.push_back({"[Services]", 2, SectionEnd::kLineContainsBracket,
                      {{"NNTP_Server", "NNTP_Server=" + HostPort(gw, kNewsPort) + "\n", false, 1},
                       {"SMTP_Server", "SMTP_Server=" + HostPort(gw, kSmtpPort) + "\n", false,
                        2}}});
  sections.push_back({"[proxy information]", 5, SectionEnd::kLineContainsBracket,
                      {{"ftp_proxy", "ftp_proxy=\n", false, 2},
                       {"http_proxy", "http_proxy=" + HostPort(gw, kHttpProxyPort) + "\n", false,
                        1},
                       {"wais_proxy", "wais_proxy=\n", false, 3},
                       {"gopher_proxy", "gopher_proxy=\n", false, 4},
                       {"All Others", "All Others=proxy\n", false, 5}}});
  return sections;
}

IniSection PointCastProxySection(const SetupSettings& s) {
  // Only 18 characters of the header are compared, so "[Proxy Information]" matches too.
  return {"[Proxy Information",
          6,
          SectionEnd::kLineBeginsWithBracket,
          {{"Ftp_Proxy", "", false, 0},
           {"Ftp_ProxyPort", "", true, 0},
           {"Http_Proxy", "Http_Proxy=" + s.GatewayName + "\n", false, 1},
           {"Http_ProxyPort", "Http_ProxyPort=" + std::to_string(kHttpProxyPort) + "\n", true, 2},
           {"Socks_Host", "Socks_Host=" + s.GatewayName + "\n", false, 3},
           {"Socks_HostPort", "Socks_HostPort=" + std::to_string(kSocksPort) + "\n", true, 4}}};
}

}  // namespace

IniSectionMerge::IniSectionMerge(std::vector<IniSection> sections,
                                 std::vector<size_t> header_test_order)
    : sections_(std::move(sections)), header_test_order_(std::move(header_test_order)) {
  for (const IniSection& section : sections_) {
    State state;
    state.pending.assign(section.keys.size(), true);
    states_.push_back(state);
  }
}

bool IniSectionMerge::Active(size_t section) const {
  return states_[section].seen && states_[section].count < sections_[section].bound;
}

void IniSectionMerge::InsertPending(size_t section, std::string* out) {
  std::vector<size_t> order;
  const auto& keys = sections_[section].keys;
  for (size_t k = 0; k < keys.size(); ++k) {
    if (keys[k].insert_order > 0 && states_[section].pending[k]) order.push_back(k);
  }
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return keys[a].insert_order < keys[b].insert_order; });
  for (size_t k : order) {
    *out += keys[k].new_line;
    states_[section].pending[k] = false;
    ++states_[section].count;
  }
}

void IniSectionMerge::ProcessLine(std::string line, std::string* out) {
  for (size_t s = 0; s < sections_.size(); ++s) {
    const auto& keys = sections_[s].keys;
    for (size_t k = 0; k < keys.size() && Active(s); ++k) {
      if (!BeginsWith(line, keys[k].prefix)) continue;
      if (!states_[s].pending[k] && !keys[k].replace_every) continue;
      line = keys[k].new_line;
      states_[s].pending[k] = false;
      ++states_[s].count;
    }
  }
  for (size_t s = 0; s < sections_.size(); ++s) {
    const bool ends = sections_[s].end == SectionEnd::kLineContainsBracket
                          ? line.find('[') != std::string::npos
                          : BeginsWith(line, "[");
    if (ends && Active(s)) InsertPending(s, out);
  }
  for (size_t s : header_test_order_) {
    if (BeginsWith(line, sections_[s].header)) {
      states_[s].seen = true;
      states_[s].count = 0;
    }
  }
  *out += line;
}

std::string MergeMosaicIni(const std::vector<std::string>& lines, const SetupSettings& settings) {
  std::vector<IniSection> sections = MosaicSections(settings);
  std::vector<size_t> header_order;
  for (size_t s = sections.size(); s-- > 0;) header_order.push_back(s);
  IniSectionMerge merge(std::move(sections), std::move(header_order));
  std::string out;
  for (const std::string& line : lines) merge.ProcessLine(line, &out);
  return out;
}

std::string MergePointCastIni(const std::vector<std::string>& lines,
                              const SetupSettings& settings) {
  IniSectionMerge merge({PointCastProxySection(settings)}, {0});
  const std::string smtp_line = "SMTP Server=" + settings.GatewayName + "\n";
  bool smtp_armed = false;
  bool smtp_done = false;
  std::string out;
  for (std::string line : lines) {
    if (smtp_armed && !smtp_done) {
      if (BeginsWith(line, "SMTP Server")) {
        line = smtp_line;
        smtp_done = true;
      } else if (BeginsWith(line, "[")) {
        out += smtp_line;
        smtp_done = true;
      }
    }
    if (BeginsWith(line, "[Browser Settings]")) smtp_armed = true;
    merge.ProcessLine(std::move(line), &out);
  }
  return out;
}

}  // namespace clientsetup
