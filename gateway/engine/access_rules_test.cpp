// The deny-rule engine: where each rule form takes effect, keywords, the lazy resolution of
// named rules, and the exact-text mode the Security page uses to refuse redundant rules.
#include "gateway/engine/access_rules.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <map>
#include <mutex>

namespace engine {
namespace {

constexpr int kAll = 0, kHttp = 1, kFtp = 2, kTelnet = 3, kMapping = 6, kRealAudio = 10;

// Resolves from a table and counts the lookups; unknown names fail ("").
struct FakeResolver {
  std::map<std::string, std::string> names;
  std::map<std::string, int> lookups;
  AddressResolver Get() {
    return [this](const std::string& name, std::string* text) {
      ++lookups[name];
      auto it = names.find(name);
      *text = it == names.end() ? "" : it->second;
      return it == names.end() ? -1 : 0;
    };
  }
};

int Check(AccessRules& rules, int n, const std::string& client, const std::string& host,
          const std::string& data = "") {
  return rules.CheckAccess(kMatchByAddress, n, client, host, data);
}

TEST(AccessRules, AllServicesAllClientsAllHostsDeniesEveryServiceUntilRemoved) {
  AccessRules rules;
  ASSERT_EQ(rules.AddRule(kAll, "", "", ""), 0);
  for (int n = 1; n <= kRealAudio; ++n) EXPECT_EQ(Check(rules, n, "10.0.0.1", "1.2.3.4"), -1);
  ASSERT_EQ(rules.RemoveRule(kAll, "", "", ""), 0);
  EXPECT_EQ(Check(rules, kFtp, "10.0.0.1", "1.2.3.4"), 0);
}

TEST(AccessRules, EachRuleFormDeniesOnlyWhatItNames) {
  struct Case {
    const char* what;
    int n;
    const char* client;
    const char* host;
    int ftp_from_5_to_9, telnet_from_5_to_9, ftp_from_6_to_9, ftp_from_5_to_8;
  } cases[] = {
      {"service for everyone", kFtp, "", "", -1, 0, -1, -1},
      {"client, one service", kFtp, "10.0.0.5", "", -1, 0, 0, -1},
      {"client, all services", kAll, "10.0.0.5", "", -1, -1, 0, -1},
      {"host, one service", kFtp, "", "10.0.0.9", -1, 0, -1, 0},
      {"host, all services", kAll, "", "10.0.0.9", -1, -1, -1, 0},
      {"pair, one service", kFtp, "10.0.0.5", "10.0.0.9", -1, 0, 0, 0},
      {"pair, all services", kAll, "10.0.0.5", "10.0.0.9", -1, -1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AccessRules rules;
    ASSERT_EQ(rules.AddRule(c.n, c.client, c.host, ""), 0);
    EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "10.0.0.9"), c.ftp_from_5_to_9);
    EXPECT_EQ(Check(rules, kTelnet, "10.0.0.5", "10.0.0.9"), c.telnet_from_5_to_9);
    EXPECT_EQ(Check(rules, kFtp, "10.0.0.6", "10.0.0.9"), c.ftp_from_6_to_9);
    EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "10.0.0.8"), c.ftp_from_5_to_8);
    ASSERT_EQ(rules.RemoveRule(c.n, c.client, c.host, ""), 0);
    EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "10.0.0.9"), 0);
  }
}

TEST(AccessRules, RemovingOneRuleKeepsAnotherOnTheSameHost) {
  AccessRules rules;
  ASSERT_EQ(rules.AddRule(kFtp, "", "10.0.0.9", ""), 0);
  ASSERT_EQ(rules.AddRule(kAll, "", "10.0.0.9", ""), 0);
  ASSERT_EQ(rules.RemoveRule(kAll, "", "10.0.0.9", ""), 0);
  EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "10.0.0.9"), -1);
  EXPECT_EQ(Check(rules, kTelnet, "10.0.0.5", "10.0.0.9"), 0);
}

TEST(AccessRules, KeywordsMatchAnywhereInAnyCaseAndEmptyKeywordsAreIgnored) {
  AccessRules rules;
  ASSERT_EQ(rules.AddRule(kHttp, "", "", "game;;chat"), 0);
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "1.2.3.4", "GET /GAMES/x HTTP/1.0\r\n"), -1);
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "1.2.3.4", "GET / HTTP/1.0\r\nX: ChAt\r\n"), -1);
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "1.2.3.4", "GET /news HTTP/1.0\r\n"), 0);
  // Keywords concern web requests only, and a keyword rule does not deny the service.
  EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "1.2.3.4", "game"), 0);
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "1.2.3.4", ""), 0);
}

TEST(AccessRules, KeywordRulesApplyToTheirClientAndHostOnly) {
  AccessRules rules;
  ASSERT_EQ(rules.AddRule(kHttp, "10.0.0.5", "", "game"), 0);
  ASSERT_EQ(rules.AddRule(kHttp, "", "10.0.0.9", "chat"), 0);
  ASSERT_EQ(rules.AddRule(kHttp, "10.0.0.6", "10.0.0.8", "mail"), 0);
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "1.2.3.4", "/game"), -1);
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.7", "1.2.3.4", "/game"), 0);
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.7", "10.0.0.9", "/chat"), -1);
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.6", "10.0.0.8", "/mail"), -1);
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.6", "10.0.0.9", "/mail"), 0);
}

TEST(AccessRules, TwoKeywordRulesForOnePairBothHoldAndDeletingOneLeavesTheOther) {
  for (const char* deleted : {"game", "chat"}) {
    SCOPED_TRACE(deleted);
    AccessRules rules;
    ASSERT_EQ(rules.AddRule(kHttp, "10.0.0.5", "1.2.3.4", "game"), 0);
    ASSERT_EQ(rules.AddRule(kHttp, "10.0.0.5", "1.2.3.4", "chat"), 0);
    EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "1.2.3.4", "/game"), -1);
    EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "1.2.3.4", "/chat"), -1);
    ASSERT_EQ(rules.RemoveRule(kHttp, "10.0.0.5", "1.2.3.4", deleted), 0);
    const std::string kept = std::string(deleted) == "game" ? "/chat" : "/game";
    EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "1.2.3.4", "/" + std::string(deleted)), 0);
    EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "1.2.3.4", kept), -1);
  }
}

TEST(AccessRules, NamedHostIsResolvedOnceAndKeepsItsAddress) {
  FakeResolver dns;
  dns.names["files.example"] = "10.1.1.1";
  AccessRules rules(dns.Get());
  ASSERT_EQ(rules.AddRule(kFtp, "", "files.example", ""), 0);
  EXPECT_EQ(dns.lookups["files.example"], 0);
  EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "10.1.1.1"), -1);
  EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "10.1.1.2"), 0);
  dns.names["files.example"] = "10.1.1.2";
  EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "10.1.1.1"), -1);
  EXPECT_EQ(dns.lookups["files.example"], 1);
  // A destination given by name is not an address: it matches no rule and costs no lookup.
  EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "files.example"), 0);
  EXPECT_EQ(dns.lookups["files.example"], 1);
}

TEST(AccessRules, Ipv6RulesMatchIpv6AddressesInAnySpellingAndMappedOnesAsIpv4) {
  FakeResolver dns;
  dns.names["v6only.example"] = "2001:db8::99";
  AccessRules rules(dns.Get());
  ASSERT_EQ(rules.AddRule(kHttp, "", "2001:db8::1", ""), 0);
  ASSERT_EQ(rules.AddRule(kTelnet, "fd00::5", "", ""), 0);
  ASSERT_EQ(rules.AddRule(kFtp, "", "::ffff:10.1.1.1", ""), 0);
  ASSERT_EQ(rules.AddRule(kMapping, "", "v6only.example", ""), 0);
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "2001:db8::1"), -1);
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "2001:0db8:0:0:0:0:0:0001"), -1);
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "2001:db8::2"), 0);
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "10.1.1.1"), 0);
  EXPECT_EQ(Check(rules, kTelnet, "fd00::5", "1.2.3.4"), -1);
  EXPECT_EQ(Check(rules, kTelnet, "fd00::6", "1.2.3.4"), 0);
  // A mapped rule is the IPv4 address, and an IPv4 target matches it.
  EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "10.1.1.1"), -1);
  EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "::ffff:10.1.1.1"), -1);
  // A name with only an IPv6 address denies that address.
  EXPECT_EQ(Check(rules, kMapping, "10.0.0.5", "2001:db8::99"), -1);
  EXPECT_EQ(Check(rules, kMapping, "10.0.0.5", "2001:db8::98"), 0);
  // The unspecified address is no wildcard: it matches neither rule.
  EXPECT_EQ(Check(rules, kHttp, "10.0.0.5", "::"), 0);
}

TEST(AccessRules, NamedClientMatchesItsDottedAddress) {
  FakeResolver dns;
  dns.names["kiosk"] = "10.0.0.7";
  AccessRules rules(dns.Get());
  ASSERT_EQ(rules.AddRule(kTelnet, "kiosk", "", ""), 0);
  EXPECT_EQ(Check(rules, kTelnet, "10.0.0.7", "1.2.3.4"), -1);
  EXPECT_EQ(Check(rules, kTelnet, "10.0.0.8", "1.2.3.4"), 0);
  EXPECT_EQ(dns.lookups["kiosk"], 1);
}

TEST(AccessRules, FailedLookupIsRememberedForAMinuteButATextThatResolvesToItselfIsDropped) {
  FakeResolver dns;
  auto now = HostLookups::Clock::now();
  AccessRules rules(dns.Get(), [&now] { return now; });
  ASSERT_EQ(rules.AddRule(kFtp, "", "later.example", ""), 0);
  EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "10.2.2.2"), 0);
  dns.names["later.example"] = "10.2.2.2";
  EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "10.2.2.2"), 0) << "the failure is remembered";
  EXPECT_EQ(dns.lookups["later.example"], 1);
  now += kLookupFailureMemory + std::chrono::seconds(1);
  EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "10.2.2.2"), -1);
  EXPECT_EQ(dns.lookups["later.example"], 2);

  dns.names["255.255.255.255"] = "255.255.255.255";
  ASSERT_EQ(rules.AddRule(kTelnet, "", "255.255.255.255", ""), 0);
  EXPECT_EQ(Check(rules, kTelnet, "10.0.0.5", "10.3.3.3"), 0);
  now += kLookupFailureMemory + std::chrono::seconds(1);
  EXPECT_EQ(Check(rules, kTelnet, "10.0.0.5", "10.3.3.3"), 0);
  EXPECT_EQ(dns.lookups["255.255.255.255"], 1);
}

// A resolver that holds every lookup of one name until the test lets it go.
struct HeldResolver {
  std::mutex mu;
  std::condition_variable cv;
  bool released = false;
  int calls = 0;
  AddressResolver Get() {
    return [this](const std::string&, std::string* text) {
      std::unique_lock hold(mu);
      ++calls;
      cv.notify_all();
      cv.wait_for(hold, std::chrono::seconds(20), [this] { return released; });
      *text = "10.4.4.4";
      return 0;
    };
  }
  bool WaitForCalls(int n) {
    std::unique_lock hold(mu);
    return cv.wait_for(hold, std::chrono::seconds(10), [&] { return calls >= n; });
  }
  void Release() {
    std::lock_guard hold(mu);
    released = true;
    cv.notify_all();
  }
};

TEST(AccessRules, ALookupInProgressHoldsUpNoOtherCheckAndIsShared) {
  HeldResolver dns;
  AccessRules rules(dns.Get());
  ASSERT_EQ(rules.AddRule(kFtp, "", "slow.example", ""), 0);
  ASSERT_EQ(rules.AddRule(kFtp, "", "10.0.0.9", ""), 0);
  auto first =
      std::async(std::launch::async, [&] { return Check(rules, kFtp, "10.0.0.5", "10.4.4.4"); });
  ASSERT_TRUE(dns.WaitForCalls(1));
  auto second =
      std::async(std::launch::async, [&] { return Check(rules, kFtp, "10.0.0.6", "10.4.4.4"); });
  // While the name is being looked up, the console changes rules and other checks decide.
  auto others = std::async(std::launch::async, [&] {
    int added = rules.AddRule(kTelnet, "", "10.0.0.8", "");
    return added == 0 && Check(rules, kFtp, "10.0.0.5", "10.0.0.9") == -1 &&
           Check(rules, kTelnet, "10.0.0.5", "10.0.0.8") == -1;
  });
  ASSERT_EQ(others.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(others.get());
  EXPECT_EQ(second.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout)
      << "a check that needs the name waits for the lookup under way";
  dns.Release();
  EXPECT_EQ(first.get(), -1);
  EXPECT_EQ(second.get(), -1);
  EXPECT_EQ(dns.calls, 1) << "both checks share one lookup";
}

TEST(AccessRules, HostGivenByNameAndByAddressDeniesByBothRules) {
  FakeResolver dns;
  dns.names["files.example"] = "10.1.1.1";
  AccessRules rules(dns.Get());
  ASSERT_EQ(rules.AddRule(kFtp, "", "files.example", ""), 0);
  ASSERT_EQ(rules.AddRule(kTelnet, "", "10.1.1.1", ""), 0);
  EXPECT_EQ(Check(rules, kTelnet, "10.0.0.5", "10.1.1.1"), -1);
  EXPECT_EQ(Check(rules, kFtp, "10.0.0.5", "10.1.1.1"), -1);
}

TEST(AccessRules, ExactTextModeFindsRulesThatAlreadyCoverANewOne) {
  FakeResolver dns;
  AccessRules rules(dns.Get());
  ASSERT_EQ(rules.AddRule(kAll, "", "", ""), 0);
  EXPECT_EQ(rules.CheckAccess(kMatchByText, kTelnet, "", "", ""), -1);
  rules.Clear();
  ASSERT_EQ(rules.AddRule(kFtp, "", "files.example", ""), 0);
  EXPECT_EQ(rules.CheckAccess(kMatchByText, kFtp, "", "files.example", ""), -1);
  EXPECT_EQ(rules.CheckAccess(kMatchByText, kFtp, "", "FILES.example", ""), 0);
  EXPECT_EQ(rules.CheckAccess(kMatchByText, kTelnet, "", "files.example", ""), 0);
  ASSERT_EQ(rules.AddRule(kAll, "10.0.0.5", "10.0.0.9", ""), 0);
  EXPECT_EQ(rules.CheckAccess(kMatchByText, kAll, "10.0.0.5", "10.0.0.9", ""), -1);
  ASSERT_EQ(rules.AddRule(kHttp, "", "", "game;chat"), 0);
  EXPECT_EQ(rules.CheckAccess(kMatchByText, kHttp, "", "", "game;chat"), -1);
  EXPECT_EQ(rules.CheckAccess(kMatchByText, kHttp, "", "", "game;chat;"), -1);
  EXPECT_EQ(rules.CheckAccess(kMatchByText, kHttp, "", "", "game"), 0);
  EXPECT_TRUE(dns.lookups.empty());
}

TEST(AccessRules, RuleNumbersOutsideTheCatalogueAreRefusedAndNeverOverrun) {
  AccessRules rules;
  EXPECT_EQ(rules.AddRule(11, "", "", ""), -1);
  EXPECT_EQ(rules.AddRule(-1, "", "10.0.0.9", ""), -1);
  EXPECT_EQ(rules.RemoveRule(42, "", "", ""), -1);
  ASSERT_EQ(rules.AddRule(kMapping, "", "10.0.0.9", ""), 0);
  EXPECT_EQ(Check(rules, -1, "10.0.0.5", "10.0.0.9"), 0);
  EXPECT_EQ(Check(rules, 31, "10.0.0.5", "10.0.0.9"), 0);
  ASSERT_EQ(rules.AddRule(kAll, "", "10.0.0.9", ""), 0);
  EXPECT_EQ(Check(rules, -1, "10.0.0.5", "10.0.0.9"), -1);
}

TEST(AccessRules, OverlongTextsAreCutAlikeWhenAddedAndRemoved) {
  const std::string host(60, 'h');
  AccessRules rules;
  ASSERT_EQ(rules.AddRule(kFtp, "", host, ""), 0);
  EXPECT_EQ(rules.CheckAccess(kMatchByText, kFtp, "", host.substr(0, 49), ""), -1);
  ASSERT_EQ(rules.RemoveRule(kFtp, "", host, ""), 0);
  EXPECT_EQ(rules.CheckAccess(kMatchByText, kFtp, "", host, ""), 0);
}

}  // namespace
}  // namespace engine
