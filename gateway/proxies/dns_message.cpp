// Reading the question and building the two kinds of answer. The answer always follows the
// question section and never carries the query's authority or additional records (an EDNS OPT
// record among them), so every count in the header is the answer's own.
#include "gateway/proxies/dns_message.h"

#include <strings.h>

#include <algorithm>

namespace proxies {
namespace {

constexpr uint8_t kLabelTypeMask = 0xC0;
constexpr uint8_t kFlagsResponse = 0x85;  // response, authoritative, recursion desired
constexpr uint8_t kRcodeNoError = 0x00;
constexpr uint8_t kRcodeNameError = 0x03;
constexpr uint16_t kQuestionPointer = 0xC000 | kDnsHeaderSize;
constexpr uint16_t kClassIn = 1;

uint16_t Read16(std::span<const uint8_t> d, size_t at) {
  return static_cast<uint16_t>((d[at] << 8) | d[at + 1]);
}

void Put16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(static_cast<uint8_t>(v >> 8));
  out->push_back(static_cast<uint8_t>(v & 0xFF));
}

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v >> 16));
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
}

// Header and question as asked; flags and counts set for an answer of ancount records.
std::vector<uint8_t> StartAnswer(std::span<const uint8_t> query, const DnsQuestion& q,
                                 uint8_t rcode, uint16_t ancount) {
  std::vector<uint8_t> out(query.begin(), query.begin() + static_cast<long>(q.end));
  out[2] = kFlagsResponse;
  out[3] = rcode;
  const uint16_t counts[4] = {1, ancount, 0, 0};
  for (size_t i = 0; i < 4; ++i) {
    out[4 + 2 * i] = static_cast<uint8_t>(counts[i] >> 8);
    out[5 + 2 * i] = static_cast<uint8_t>(counts[i] & 0xFF);
  }
  return out;
}

void PutRecordHead(std::vector<uint8_t>* out, uint16_t owner_pointer, uint16_t type,
                   uint16_t rdlength) {
  Put16(out, owner_pointer);
  Put16(out, type);
  Put16(out, kClassIn);
  Put32(out, kDnsAnswerTtl);
  Put16(out, rdlength);
}

void PutARecord(std::vector<uint8_t>* out, uint16_t owner_pointer, uint32_t address) {
  PutRecordHead(out, owner_pointer, kDnsTypeA, 4);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&address);  // already network order
  out->insert(out->end(), bytes, bytes + 4);
}

std::string WithoutFinalDot(const std::string& name) {
  if (!name.empty() && name.back() == '.') return name.substr(0, name.size() - 1);
  return name;
}

}  // namespace

int ParseDnsQuery(std::span<const uint8_t> query, DnsQuestion* out) {
  if (query.size() < kDnsHeaderSize) return -1;
  if ((query[2] & 0x80) != 0) return -1;  // a response: answering it could start a loop
  if (Read16(query, 4) == 0) return -1;
  DnsQuestion q;
  size_t at = kDnsHeaderSize;
  size_t wire = 1;  // the final zero byte
  bool first = true;
  for (;;) {
    if (at >= query.size()) return -1;
    uint8_t len = query[at++];
    if (len == 0) break;
    if ((len & kLabelTypeMask) != 0) return -1;
    wire += 1u + len;
    if (wire > kDnsMaxName || len > query.size() - at) return -1;
    if (!first) q.name += '.';
    first = false;
    for (size_t i = 0; i < len; ++i) {
      char c = static_cast<char>(query[at + i]);
      if (c == '.' || c == '\0') q.resolvable = false;
      q.name += c;
    }
    at += len;
  }
  if (query.size() - at < 4) return -1;
  q.qtype = Read16(query, at);
  q.end = at + 4;
  *out = std::move(q);
  return 0;
}

std::vector<uint8_t> BuildNameError(std::span<const uint8_t> query, const DnsQuestion& q) {
  return StartAnswer(query, q, kRcodeNameError, 0);
}

int EncodeDnsName(const std::string& dotted, std::vector<uint8_t>* out) {
  out->clear();
  std::string name = WithoutFinalDot(dotted);
  if (name.empty()) return -1;
  std::vector<uint8_t> wire;
  size_t start = 0;
  for (;;) {
    size_t dot = name.find('.', start);
    size_t end = dot == std::string::npos ? name.size() : dot;
    size_t len = end - start;
    if (len == 0 || len > kDnsMaxLabel) return -1;
    wire.push_back(static_cast<uint8_t>(len));
    wire.insert(wire.end(), name.begin() + static_cast<long>(start),
                name.begin() + static_cast<long>(end));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  wire.push_back(0);
  if (wire.size() > kDnsMaxName) return -1;
  *out = std::move(wire);
  return 0;
}

std::vector<uint8_t> BuildAddressAnswer(std::span<const uint8_t> query, const DnsQuestion& q,
                                        const std::string& official, uint32_t address) {
  std::string canonical = WithoutFinalDot(official);
  std::vector<uint8_t> label_form;
  bool alias =
      strcasecmp(canonical.c_str(), q.name.c_str()) != 0 || canonical.size() != q.name.size();
  if (alias && EncodeDnsName(canonical, &label_form) == 0) {
    // Owner of the CNAME: the question's name; owner of the A record: the CNAME's target.
    size_t answer_size = q.end + 12 + label_form.size() + 16;
    if (answer_size <= kDnsUdpAnswerLimit) {
      std::vector<uint8_t> out = StartAnswer(query, q, kRcodeNoError, 2);
      PutRecordHead(&out, kQuestionPointer, kDnsTypeCname,
                    static_cast<uint16_t>(label_form.size()));
      auto target = static_cast<uint16_t>(0xC000 | out.size());
      out.insert(out.end(), label_form.begin(), label_form.end());
      PutARecord(&out, target, address);
      return out;
    }
  }
  std::vector<uint8_t> out = StartAnswer(query, q, kRcodeNoError, 1);
  PutARecord(&out, kQuestionPointer, address);
  return out;
}

std::vector<uint8_t> BuildEmptyAnswer(std::span<const uint8_t> query, const DnsQuestion& q) {
  return StartAnswer(query, q, kRcodeNoError, 0);
}

std::vector<uint8_t> BuildAaaaAnswer(std::span<const uint8_t> query, const DnsQuestion& q,
                                     const std::vector<std::array<uint8_t, 16>>& addresses) {
  constexpr size_t kRecordSize = 12 + 16;
  const size_t room = q.end < kDnsUdpAnswerLimit ? (kDnsUdpAnswerLimit - q.end) / kRecordSize : 0;
  const size_t count = std::min(addresses.size(), room);
  std::vector<uint8_t> out = StartAnswer(query, q, kRcodeNoError, static_cast<uint16_t>(count));
  for (size_t i = 0; i < count; ++i) {
    PutRecordHead(&out, kQuestionPointer, kDnsTypeAaaa, 16);
    out.insert(out.end(), addresses[i].begin(), addresses[i].end());
  }
  return out;
}

}  // namespace proxies
