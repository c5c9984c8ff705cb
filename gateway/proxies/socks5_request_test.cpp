// The SOCKS 5 greeting and request parser fed every prefix of real messages: what it asks for,
// what it refuses and what it makes of the addresses. Single-threaded.
#include "gateway/proxies/socks5_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace proxies {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes Request(unsigned char command, unsigned char type, const Bytes& address, uint16_t port) {
  Bytes r = {5, command, 0, type};
  for (unsigned char b : address) r.push_back(b);
  r.push_back(static_cast<unsigned char>(port >> 8));
  r.push_back(static_cast<unsigned char>(port & 0xFF));
  return r;
}

Bytes Name(const std::string& name) {
  Bytes b = {static_cast<unsigned char>(name.size())};
  for (char c : name) b.push_back(static_cast<unsigned char>(c));
  return b;
}

// Parses each prefix of message from a buffer of exactly its size (so a read past it is a
// sanitizer finding): every short prefix must ask for more than it has and no more than the
// whole; the whole message gets the verdict returned.
Socks5Parse ParseEveryPrefix(const Bytes& message, Socks5Target* target, unsigned char* code) {
  for (size_t size = 0; size < message.size(); ++size) {
    Bytes prefix(message.begin(), message.begin() + static_cast<long>(size));
    size_t need = 0;
    Socks5Target ignored;
    unsigned char c = 0;
    Socks5Parse verdict = ParseSocks5Request(prefix.data(), size, &need, &ignored, &c);
    if (verdict != Socks5Parse::kNeedMore) return verdict;
    EXPECT_GT(need, size);
    EXPECT_LE(need, message.size());
    EXPECT_LE(need, kSocks5RequestLimit);
  }
  size_t need = 0;
  Socks5Parse verdict = ParseSocks5Request(message.data(), message.size(), &need, target, code);
  if (verdict == Socks5Parse::kComplete) {
    EXPECT_EQ(need, message.size());
  }
  return verdict;
}

TEST(Socks5Greeting, AsksForTheMethodsAndFindsNoAuthentication) {
  struct Case {
    Bytes bytes;
    Socks5Parse verdict;
    size_t need;
    bool no_authentication;
  } cases[] = {
      {{}, Socks5Parse::kNeedMore, 2, false},
      {{5}, Socks5Parse::kNeedMore, 2, false},
      {{5, 0}, Socks5Parse::kComplete, 2, false},  // no method at all: none acceptable
      {{5, 2, 2}, Socks5Parse::kNeedMore, 4, false},
      {{5, 2, 2, 0}, Socks5Parse::kComplete, 4, true},
      {{5, 1, 2}, Socks5Parse::kComplete, 3, false},
      {{5, 1, 0, 0xAA}, Socks5Parse::kComplete, 3, true},  // later bytes are not its own
      {{4, 1, 0}, Socks5Parse::kMalformed, 2, false},
  };
  for (const Case& k : cases) {
    size_t need = 0;
    Socks5Greeting greeting;
    EXPECT_EQ(ParseSocks5Greeting(k.bytes.data(), k.bytes.size(), &need, &greeting), k.verdict);
    EXPECT_EQ(need, k.need);
    EXPECT_EQ(greeting.no_authentication, k.no_authentication);
  }
  Bytes all(kSocks5GreetingLimit, 1);
  all[0] = 5;
  all[1] = 255;
  all.back() = 0;
  size_t need = 0;
  Socks5Greeting greeting;
  EXPECT_EQ(ParseSocks5Greeting(all.data(), all.size(), &need, &greeting), Socks5Parse::kComplete);
  EXPECT_TRUE(greeting.no_authentication);
}

TEST(Socks5Request, EachAddressTypeReadToItsPort) {
  Bytes ipv6(16, 0);
  ipv6[15] = 1;
  struct Case {
    Bytes bytes;
    std::string address;
    bool ipv6;
    std::string name;
    uint16_t port;
  } cases[] = {
      {Request(1, 1, {10, 0, 0, 7}, 80), "10.0.0.7", false, "", 80},
      {Request(1, 4, ipv6, 65535), "::1", true, "", 65535},
      {Request(1, 3, Name("host.example"), 8080), "", false, "host.example", 8080},
      {Request(1, 3, Name(""), 1), "", false, "", 1},
      {Request(1, 3, Name(std::string(255, 'n')), 443), "", false, std::string(255, 'n'), 443},
  };
  for (const Case& k : cases) {
    Socks5Target target;
    unsigned char code = 0;
    ASSERT_EQ(ParseEveryPrefix(k.bytes, &target, &code), Socks5Parse::kComplete) << k.name;
    EXPECT_EQ(target.address, k.address);
    EXPECT_EQ(target.ipv6, k.ipv6);
    EXPECT_EQ(target.name, k.name);
    EXPECT_EQ(target.port, k.port);
  }
  EXPECT_EQ(Request(1, 3, Name(std::string(255, 'n')), 443).size(), kSocks5RequestLimit);
}

TEST(Socks5Request, RefusalsCarryTheirReplyCode) {
  Socks5Target target;
  unsigned char code = 0;
  // An unknown address type is refused as soon as it is seen: its length cannot be known.
  EXPECT_EQ(ParseEveryPrefix({5, 1, 0, 9}, &target, &code), Socks5Parse::kRefused);
  EXPECT_EQ(code, kSocks5AddressNotSupported);
  EXPECT_EQ(ParseEveryPrefix({5, 1, 0, 0}, &target, &code), Socks5Parse::kRefused);
  EXPECT_EQ(code, kSocks5AddressNotSupported);
  // BIND and UDP ASSOCIATE are read whole, then refused.
  for (unsigned char command : {2, 3, 0}) {
    code = 0;
    EXPECT_EQ(ParseEveryPrefix(Request(command, 1, {127, 0, 0, 1}, 21), &target, &code),
              Socks5Parse::kRefused);
    EXPECT_EQ(code, kSocks5CommandNotSupported);
  }
  EXPECT_EQ(ParseEveryPrefix({4, 1, 0, 1, 127, 0, 0, 1, 0, 80}, &target, &code),
            Socks5Parse::kMalformed);
}

}  // namespace
}  // namespace proxies
