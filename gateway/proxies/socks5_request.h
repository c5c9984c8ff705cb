// The SOCKS version 5 (RFC 1928) greeting and request as bytes: a pure parser the session feeds
// with what it has read so far and that says how many bytes the message needs in all, so the
// session never reads past it. Holds no state between calls; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace proxies {

// The longest greeting (version, count, 255 methods) and request (4 fixed bytes, a name of
// 255 bytes with its length byte, the port): a session's buffers of these sizes always suffice.
inline constexpr size_t kSocks5GreetingLimit = 2 + 255;
inline constexpr size_t kSocks5RequestLimit = 4 + 1 + 255 + 2;

// Reply codes (RFC 1928, 6).
inline constexpr unsigned char kSocks5Succeeded = 0x00;
inline constexpr unsigned char kSocks5GeneralFailure = 0x01;
inline constexpr unsigned char kSocks5NotAllowed = 0x02;
inline constexpr unsigned char kSocks5NetworkUnreachable = 0x03;
inline constexpr unsigned char kSocks5HostUnreachable = 0x04;
inline constexpr unsigned char kSocks5Refused = 0x05;
inline constexpr unsigned char kSocks5CommandNotSupported = 0x07;
inline constexpr unsigned char kSocks5AddressNotSupported = 0x08;

enum class Socks5Parse {
  kNeedMore,   // *need: the total byte count to have before looking again (more than given)
  kComplete,   // the message is whole and *need its length; the result is filled in
  kMalformed,  // not a version 5 message: the session ends without a reply
  kRefused,    // a request the gateway does not serve: reply with the code given, then end
};

struct Socks5Greeting {
  bool no_authentication = false;  // method 0x00 was among those offered
};

struct Socks5Target {
  std::string address;  // dotted, or an IPv6 literal; empty for a name
  bool ipv6 = false;
  std::string name;  // a domain name still to resolve (may be empty: a zero length byte)
  uint16_t port = 0;
};

// Looks at the first size bytes of a greeting (VER NMETHODS METHODS...).
[[nodiscard]] Socks5Parse ParseSocks5Greeting(const unsigned char* data, size_t size, size_t* need,
                                              Socks5Greeting* greeting);

// Looks at the first size bytes of a request (VER CMD RSV ATYP DST.ADDR DST.PORT). An unknown
// address type is refused with kSocks5AddressNotSupported as soon as ATYP is seen (its length
// cannot be known); any command but CONNECT with kSocks5CommandNotSupported once the request
// is whole. *code gets the reply code of kRefused.
[[nodiscard]] Socks5Parse ParseSocks5Request(const unsigned char* data, size_t size, size_t* need,
                                             Socks5Target* target, unsigned char* code);

}  // namespace proxies
