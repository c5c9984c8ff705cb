// The DNS service's guard: the bound on lookups under way and the recognition of our own
// lookups coming back to the service.
#include "gateway/proxies/dns_guard.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace proxies {
namespace {

in_addr Address(const char* dotted) {
  in_addr a{};
  inet_pton(AF_INET, dotted, &a);
  return a;
}

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
    EXPECT_FALSE(IsOwnLookupReturning("extra.test", Address("127.0.0.1")))
        << "a refused lookup is not under way";
  }
  under_way.pop_back();
  DnsLookupTicket next("next.test");
  EXPECT_TRUE(next.Admitted());
  under_way.clear();
  EXPECT_EQ(DnsSessionsInFlight(), 1u);
}

TEST(DnsGuard, OwnLookupIsRecognisedFromThisMachineOnlyAndOnlyWhileUnderWay) {
  auto ticket = std::make_unique<DnsLookupTicket>("Loop.Test.");
  ASSERT_TRUE(ticket->Admitted());
  const in_addr loopback = Address("127.0.0.1");
  EXPECT_TRUE(IsOwnLookupReturning("loop.test", loopback));
  EXPECT_TRUE(IsOwnLookupReturning("LOOP.test.office.example", loopback))
      << "the resolver may append its search domain";
  EXPECT_FALSE(IsOwnLookupReturning("other.test", loopback));
  EXPECT_FALSE(IsOwnLookupReturning("test", loopback));
  // A client elsewhere asking for the same name at the same time is no loop.
  EXPECT_FALSE(IsOwnLookupReturning("loop.test", Address("192.0.2.77")));
  ticket.reset();
  EXPECT_FALSE(IsOwnLookupReturning("loop.test", loopback));
}

}  // namespace
}  // namespace proxies
