// Fuzz target: a DNS query datagram as the DNS proxy reads it, and the answers built from it
// (name error, empty, A with an official name taken from the input, and AAAA answers).
// Single-threaded libFuzzer process.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gateway/proxies/dns_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> query(data, size);
  proxies::DnsQuestion q;
  if (proxies::ParseDnsQuery(query, &q) != 0) return 0;
  if (q.end > size) __builtin_trap();
  (void)proxies::BuildNameError(query, q);
  (void)proxies::BuildAddressAnswer(query, q, q.name, 0x0100007f);
  (void)proxies::BuildAddressAnswer(query, q, "official." + q.name, 0x0100007f);
  (void)proxies::BuildEmptyAnswer(query, q);
  std::vector<std::array<uint8_t, 16>> addresses(40,
                                                 std::array<uint8_t, 16>{0x20, 0x01, 0x0d, 0xb8});
  (void)proxies::BuildAaaaAnswer(query, q, addresses);
  std::vector<uint8_t> encoded;
  (void)proxies::EncodeDnsName(q.name, &encoded);
  return 0;
}
