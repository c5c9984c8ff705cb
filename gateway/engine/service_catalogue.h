// The catalogue of service kinds: names, numeric codes, rule numbers, default ports and the
// listener message of each kind. Pure functions, except ServiceCodeFromName, which also looks
// mapping names up in the ServiceList. Any thread.
#pragma once

#include <string>

namespace engine {

inline constexpr int kCodeWww = 11;
inline constexpr int kCodeFtp = 12;
inline constexpr int kCodeTelnet = 13;
inline constexpr int kCodePop3 = 14;
inline constexpr int kCodeSocks = 15;
inline constexpr int kCodeTcpMappedLink = 16;
inline constexpr int kCodeUdpMappedLink = 17;
inline constexpr int kCodeSmtp = 18;
inline constexpr int kCodeNews = 19;
inline constexpr int kCodeIrc = 20;
inline constexpr int kCodeRealAudio = 21;

inline constexpr char kDnsServiceType[] = "DNS";
inline constexpr char kTcpMappedLinkType[] = "TCP Mapped Link";
inline constexpr char kUdpMappedLinkType[] = "UDP Mapped Link";
inline constexpr int kDnsPort = 53;

// Exact, case-sensitive name of the eleven kinds (11..21) to its code; any other text is
// looked up as a MappingName in the ServiceList (first match's code); -1 when none.
[[nodiscard]] int ServiceCodeFromName(const std::string& name);
// The code of one of the eleven kind names; -1 for any other text (no list lookup, so it is
// safe under the ServiceList's lock).
[[nodiscard]] int KindCodeFromName(const std::string& name);
// The kind name of codes 11..21; false (text cleared) for any other code.
bool ServiceNameFromCode(int code, std::string* text);
// Rule number passed to the access check: 11->1 ... 16,17->6 ... 21->10; -1 otherwise.
[[nodiscard]] int RuleNumberFor(int code);
// The rule lists' text for rule numbers 0 ("All") to 10 ("RealAudio"); "" outside.
[[nodiscard]] const char* RuleServiceText(int rule_number);
// True for the kinds a user mapping may take ("TCP Mapped Link", "UDP Mapped Link").
[[nodiscard]] bool IsMappedLinkType(const std::string& service_type);
// True for the kinds that carry a target host (SMTP, News, IRC and both mapped links).
[[nodiscard]] bool IsMappedKind(const std::string& service_type);
// True for one of the eleven kind names.
[[nodiscard]] bool IsKindName(const std::string& name);

}  // namespace engine
