// Parsing of the SOCKS 5 greeting and request; see socks5_request.h.
#include "gateway/proxies/socks5_request.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>

namespace proxies {
namespace {

constexpr unsigned char kVersion = 5;
constexpr unsigned char kNoAuthentication = 0x00;
constexpr unsigned char kConnect = 1;
constexpr unsigned char kAddressIpv4 = 1;
constexpr unsigned char kAddressName = 3;
constexpr unsigned char kAddressIpv6 = 4;
constexpr size_t kRequestHead = 4;

// kNeedMore when fewer than total bytes are there, after setting *need.
bool Short(size_t size, size_t total, size_t* need) {
  *need = total;
  return size < total;
}

}  // namespace

Socks5Parse ParseSocks5Greeting(const unsigned char* data, size_t size, size_t* need,
                                Socks5Greeting* greeting) {
  if (Short(size, 2, need)) return Socks5Parse::kNeedMore;
  if (data[0] != kVersion) return Socks5Parse::kMalformed;
  if (Short(size, 2 + size_t{data[1]}, need)) return Socks5Parse::kNeedMore;
  const unsigned char* methods = data + 2;
  greeting->no_authentication =
      std::find(methods, methods + data[1], kNoAuthentication) != methods + data[1];
  return Socks5Parse::kComplete;
}

Socks5Parse ParseSocks5Request(const unsigned char* data, size_t size, size_t* need,
                               Socks5Target* target, unsigned char* code) {
  if (Short(size, kRequestHead, need)) return Socks5Parse::kNeedMore;
  if (data[0] != kVersion) return Socks5Parse::kMalformed;
  const unsigned char type = data[3];
  size_t address_length = 0;
  const unsigned char* address = data + kRequestHead;
  if (type == kAddressIpv4 || type == kAddressIpv6) {
    address_length = type == kAddressIpv4 ? 4 : 16;
  } else if (type == kAddressName) {
    if (Short(size, kRequestHead + 1, need)) return Socks5Parse::kNeedMore;
    address_length = data[kRequestHead];
    address += 1;
  } else {
    *code = kSocks5AddressNotSupported;
    return Socks5Parse::kRefused;
  }
  size_t total = static_cast<size_t>(address - data) + address_length + 2;
  if (Short(size, total, need)) return Socks5Parse::kNeedMore;
  *target = Socks5Target();
  if (type == kAddressName) {
    target->name.assign(reinterpret_cast<const char*>(address), address_length);
  } else {
    char text[INET6_ADDRSTRLEN] = {};
    if (inet_ntop(type == kAddressIpv4 ? AF_INET : AF_INET6, address, text, sizeof text)) {
      target->address = text;
    }
    target->ipv6 = type == kAddressIpv6;
  }
  const unsigned char* port = address + address_length;
  target->port = static_cast<uint16_t>(port[0] << 8 | port[1]);
  if (data[1] != kConnect) {
    *code = kSocks5CommandNotSupported;
    return Socks5Parse::kRefused;
  }
  return Socks5Parse::kComplete;
}

}  // namespace proxies
