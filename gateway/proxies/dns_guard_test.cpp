// The DNS service's guard: the bound on lookups under way and the recognition of our own
// lookups coming back to the service.
#include "gateway/proxies/dns_guard.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

namespace proxies {
namespace {

sockaddr_in From(const char* dotted, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  inet_pton(AF_INET, dotted, &a.sin_addr);
  return a;
}

sockaddr_storage Sender(const char* dotted, uint16_t port) {
  sockaddr_storage a{};
  sockaddr_in v4 = From(dotted, port);
  std::memcpy(&a, &v4, sizeof v4);
  return a;
}

// A UDP socket of this process on loopback: what our resolver sends its queries from.
class OwnSocket {
 public:
  OwnSocket() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at = From("127.0.0.1", 0);
    socklen_t size = sizeof at;
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    EXPECT_EQ(getsockname(fd_, reinterpret_cast<sockaddr*>(&at), &size), 0);
    port_ = ntohs(at.sin_port);
  }
  ~OwnSocket() { close(fd_); }
  [[nodiscard]] uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

TEST(DnsGuard, LookupsBeyondTheLimitAreRefusedUntilOneEnds) {
  std::vector<std::unique_ptr<DnsLookupTicket>> under_way;
  for (size_t i = 0; i < kDnsSessionLimit; ++i) {
    under_way.push_back(std::make_unique<DnsLookupTicket>("n" + std::to_string(i) + ".test"));
    ASSERT_TRUE(under_way.back()->Admitted());
  }
  EXPECT_EQ(DnsSessionsInFlight(), kDnsSessionLimit);
  {
    DnsLookupTicket extra("extra.test");
    EXPECT_FALSE(extra.Admitted());
    OwnSocket own;
    EXPECT_FALSE(IsOwnLookupReturning("extra.test", Sender("127.0.0.1", own.port())))
        << "a refused lookup is not under way";
  }
  under_way.pop_back();
  DnsLookupTicket next("next.test");
  EXPECT_TRUE(next.Admitted());
  under_way.clear();
  EXPECT_EQ(DnsSessionsInFlight(), 1u);
}

TEST(DnsGuard, OwnLookupIsRecognisedByItsSocketAndOnlyWhileUnderWay) {
  auto ticket = std::make_unique<DnsLookupTicket>("Loop.Test.");
  ASSERT_TRUE(ticket->Admitted());
  OwnSocket own;
  const sockaddr_storage ours = Sender("127.0.0.1", own.port());
  EXPECT_TRUE(IsOwnLookupReturning("loop.test", ours));
  EXPECT_TRUE(IsOwnLookupReturning("LOOP.test.office.example", ours))
      << "the resolver may append its search domain";
  EXPECT_FALSE(IsOwnLookupReturning("other.test", ours));
  EXPECT_FALSE(IsOwnLookupReturning("test", ours));
  // Another program on this machine, or a client elsewhere, asking for the same name at the
  // same time is no loop.
  uint16_t unused = own.port();
  {
    OwnSocket gone;
    unused = gone.port();
  }
  EXPECT_FALSE(IsOwnLookupReturning("loop.test", Sender("127.0.0.1", unused)));
  EXPECT_FALSE(IsOwnLookupReturning("loop.test", Sender("192.0.2.77", own.port())));
  ticket.reset();
  EXPECT_FALSE(IsOwnLookupReturning("loop.test", ours));
}

}  // namespace
}  // namespace proxies
