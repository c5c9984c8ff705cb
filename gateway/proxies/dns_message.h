// The DNS proxy's reading of a query and its building of the answer, over RFC 1035 messages.
// Every read is bounded by the datagram's length and every name by 255 bytes, so a hostile
// datagram is refused rather than followed. Pure functions; any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace proxies {

inline constexpr size_t kDnsHeaderSize = 12;
inline constexpr size_t kDnsMaxName = 255;  // wire form, length bytes and final zero included
inline constexpr size_t kDnsMaxLabel = 63;
inline constexpr size_t kDnsUdpAnswerLimit = 512;  // answers without EDNS fit a plain datagram
inline constexpr uint16_t kDnsTypeA = 1;
inline constexpr uint16_t kDnsTypeCname = 5;
inline constexpr uint16_t kDnsTypeAaaa = 28;
inline constexpr uint8_t kDnsTypePtrLowByte = 12;
inline constexpr uint32_t kDnsAnswerTtl = 3600;

// The first question of a query as the proxy uses it.
struct DnsQuestion {
  std::string name;  // labels joined by dots, letter case as asked
  uint16_t qtype = 0;
  size_t end = 0;          // offset just past QTYPE and QCLASS
  bool resolvable = true;  // false when a label holds a dot or a zero byte
};

// Reads the header and the first question. 0, or -1 for a datagram that is no query the proxy
// answers: shorter than a header, a response, no question, a label running past the end, a
// compression pointer or other label type, a name over kDnsMaxName, QTYPE/QCLASS cut off.
[[nodiscard]] int ParseDnsQuery(std::span<const uint8_t> query, DnsQuestion* out);

// The name-error answer: the header with flags 0x85 0x03 and the question as asked; no other
// section is echoed. query must be the datagram q was parsed from.
[[nodiscard]] std::vector<uint8_t> BuildNameError(std::span<const uint8_t> query,
                                                  const DnsQuestion& q);

// The answer for a resolved name, flags 0x85 0x00: the question as asked, then either one A
// record (the official name is the name asked), or a CNAME from the name asked to the official
// name followed by the official name's A record. address is in network byte order. When the
// official name cannot be put in label form or the answer would outgrow kDnsUdpAnswerLimit,
// the A record is owned by the name asked instead.
[[nodiscard]] std::vector<uint8_t> BuildAddressAnswer(std::span<const uint8_t> query,
                                                      const DnsQuestion& q,
                                                      const std::string& official,
                                                      uint32_t address);

// The answer with no record and no error (flags 0x85 0x00): the name exists, but not with
// the type asked (an AAAA query for a name with IPv4 addresses only).
[[nodiscard]] std::vector<uint8_t> BuildEmptyAnswer(std::span<const uint8_t> query,
                                                    const DnsQuestion& q);

// The answer to an AAAA query: one AAAA record per address, owned by the name asked, as many
// as fit kDnsUdpAnswerLimit. addresses: 16 bytes each, network order.
[[nodiscard]] std::vector<uint8_t> BuildAaaaAnswer(
    std::span<const uint8_t> query, const DnsQuestion& q,
    const std::vector<std::array<uint8_t, 16>>& addresses);

// Label form of a dotted name (a final dot allowed). 0, or -1 for an empty name or label, a
// label over 63 bytes or a name over kDnsMaxName; out is then left empty.
[[nodiscard]] int EncodeDnsName(const std::string& dotted, std::vector<uint8_t>* out);

}  // namespace proxies
