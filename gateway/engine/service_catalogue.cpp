// The kinds table.
#include "gateway/engine/service_catalogue.h"

#include <array>

#include "gateway/engine/service_list.h"

namespace engine {
namespace {

constexpr std::array<const char*, 11> kKindNames = {
    "WWW", "FTP", "Telnet", "POP3", "Socks", "TCP Mapped Link", "UDP Mapped Link",
    "SMTP", "News", "IRC", "RealAudio"};
constexpr std::array<int, 11> kRuleNumbers = {1, 2, 3, 4, 5, 6, 6, 7, 8, 9, 10};
constexpr std::array<const char*, 11> kRuleTexts = {
    "All", "HTTP", "FTP", "Telnet", "POP3", "Socks", "Mapping", "SMTP", "News", "IRC",
    "RealAudio"};

}  // namespace

int KindCodeFromName(const std::string& name) {
  for (size_t i = 0; i < kKindNames.size(); ++i) {
    if (name == kKindNames[i]) return kCodeWww + static_cast<int>(i);
  }
  return -1;
}

int ServiceCodeFromName(const std::string& name) {
  int code = KindCodeFromName(name);
  if (code != -1) return code;
  return Services().CodeForMappingName(name);
}

bool ServiceNameFromCode(int code, std::string* text) {
  if (code < kCodeWww || code > kCodeRealAudio) {
    text->clear();
    return false;
  }
  *text = kKindNames[static_cast<size_t>(code - kCodeWww)];
  return true;
}

int RuleNumberFor(int code) {
  if (code < kCodeWww || code > kCodeRealAudio) return -1;
  return kRuleNumbers[static_cast<size_t>(code - kCodeWww)];
}

const char* RuleServiceText(int rule_number) {
  if (rule_number < 0 || rule_number > 10) return "";
  return kRuleTexts[static_cast<size_t>(rule_number)];
}

bool IsMappedLinkType(const std::string& service_type) {
  return service_type == kTcpMappedLinkType || service_type == kUdpMappedLinkType;
}

bool IsMappedKind(const std::string& service_type) {
  return IsMappedLinkType(service_type) || service_type == "SMTP" || service_type == "News" ||
         service_type == "IRC";
}

bool IsKindName(const std::string& name) { return KindCodeFromName(name) != -1; }

}  // namespace engine
