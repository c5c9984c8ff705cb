// The AllowedClients set: what "lan" covers, lists and prefixes, mapped IPv6, unreadable
// settings, and the filter's store round trip and refusal count.
#include "gateway/engine/client_filter.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "gateway/engine/config_store.h"
#include "gateway/engine/store_access.h"
#include "platform/testing/temp_store.h"

namespace engine {
namespace {

ClientAddress A(const char* text) {
  ClientAddress a{};
  EXPECT_TRUE(ParseClientAddress(text, &a)) << text;
  return a;
}

TEST(ClientSet, LanCoversPrivateLoopbackAndLinkLocalButNotSharedOrPublic) {
  struct Case {
    const char* address;
    bool in;
  } cases[] = {{"127.0.0.1", true},
               {"127.255.0.9", true},
               {"10.1.2.3", true},
               {"172.16.0.1", true},
               {"172.31.255.255", true},
               {"172.32.0.1", false},
               {"172.15.255.255", false},
               {"192.168.7.9", true},
               {"192.169.0.1", false},
               {"169.254.3.4", true},
               {"100.64.0.1", false},
               {"198.51.100.7", false},
               {"8.8.8.8", false},
               {"::1", true},
               {"fd12::5", true},
               {"fc00::1", true},
               {"fe80::1", true},
               {"fec0::1", false},
               {"2001:db8::1", false},
               {"::ffff:10.0.0.5", true},
               {"::ffff:203.0.113.1", false},
               {"::", false}};
  ClientSet lan = ClientSet::Lan();
  for (const Case& c : cases) EXPECT_EQ(lan.Contains(A(c.address)), c.in) << c.address;
}

TEST(ClientSet, ListsOfAddressesAndPrefixes) {
  ClientSet set;
  ASSERT_TRUE(
      ClientSet::Parse("192.168.1.0/24;10.0.0.5, 2001:db8::/32  ::ffff:198.51.100.0/120", &set));
  EXPECT_TRUE(set.Contains(A("192.168.1.200")));
  EXPECT_FALSE(set.Contains(A("192.168.2.1")));
  EXPECT_TRUE(set.Contains(A("10.0.0.5")));
  EXPECT_FALSE(set.Contains(A("10.0.0.6")));
  EXPECT_FALSE(set.Contains(A("127.0.0.1")));
  EXPECT_TRUE(set.Contains(A("2001:db8:1::9")));
  EXPECT_TRUE(set.Contains(A("198.51.100.77")));  // the mapped prefix matches IPv4
  EXPECT_TRUE(set.Contains(A("::ffff:192.168.1.1")));

  ASSERT_TRUE(ClientSet::Parse("LAN;203.0.113.0/24", &set));
  EXPECT_TRUE(set.Contains(A("10.9.9.9")));
  EXPECT_TRUE(set.Contains(A("203.0.113.9")));
  EXPECT_FALSE(set.Contains(A("198.51.100.1")));

  ASSERT_TRUE(ClientSet::Parse("Any", &set));
  EXPECT_TRUE(set.Contains(A("198.51.100.1")));
  ASSERT_TRUE(ClientSet::Parse("0.0.0.0/0", &set));
  EXPECT_TRUE(set.Contains(A("198.51.100.1")));
  EXPECT_FALSE(set.Contains(A("2001:db8::1")));
  ASSERT_TRUE(ClientSet::Parse(" ", &set));  // empty: lan
  EXPECT_TRUE(set.Contains(A("192.168.0.1")));
  EXPECT_FALSE(set.Contains(A("198.51.100.1")));
}

TEST(ClientSet, UnreadableEntriesRejectTheWholeText) {
  for (const char* text : {"lan;everyone", "10.0.0.0/33", "10.0.0.0/", "10.0.0/8", "::1/129",
                           "10.0.0.0/-1", "1.2.3.4/8x", "300.1.1.1"}) {
    ClientSet set = ClientSet::Any();
    EXPECT_FALSE(ClientSet::Parse(text, &set)) << text;
    EXPECT_TRUE(set.Contains(A("198.51.100.1"))) << "left untouched: " << text;
  }
}

TEST(ClientAddress, MappedIpv6IsShownAsIpv4) {
  EXPECT_EQ(ClientAddressText(A("::ffff:192.0.2.4")), "192.0.2.4");
  EXPECT_EQ(ClientAddressText(A("192.0.2.4")), "192.0.2.4");
  EXPECT_EQ(ClientAddressText(A("2001:db8::4")), "2001:db8::4");
}

TEST(ClientFilter, SettingIsStoredAppliedAndCountsRefusals) {
  platform::testing::TempStore store;
  ASSERT_EQ(WriteDefaultConfiguration(), 0);
  LoadAllowedClients();
  EXPECT_EQ(AllowedClientsText(), "lan");
  uint64_t before = RefusedClients();
  EXPECT_FALSE(AdmitClient(A("198.51.100.9")));
  EXPECT_FALSE(AdmitClient(A("198.51.100.9")));
  EXPECT_TRUE(AdmitClient(A("192.168.1.9")));
  EXPECT_EQ(RefusedClients(), before + 2);

  ASSERT_EQ(SetAllowedClients("198.51.100.0/24"), 0);
  EXPECT_TRUE(AdmitClient(A("198.51.100.9")));
  EXPECT_FALSE(AdmitClient(A("192.168.1.9")));
  EXPECT_EQ(SetAllowedClients("nonsense"), -1);
  EXPECT_EQ(AllowedClientsText(), "198.51.100.0/24");
  LoadAllowedClients();  // as the next start reads it
  EXPECT_TRUE(AdmitClient(A("198.51.100.9")));

  platform::RegKey key;
  ASSERT_EQ(OpenSubkey(kKeyConfiguration, "", false, &key), 0);
  ASSERT_TRUE(SetString(key, kAllowedClientsValue, "10.0.0.0/99"));
  LoadAllowedClients();
  EXPECT_EQ(AllowedClientsText(), "lan");
  EXPECT_TRUE(AdmitClient(A("10.1.1.1")));
  EXPECT_FALSE(AdmitClient(A("198.51.100.9")));
}

TEST(ClientFilter, DefaultConfigurationWritesLan) {
  platform::testing::TempStore store;
  ASSERT_EQ(WriteDefaultConfiguration(), 0);
  platform::RegKey key;
  ASSERT_EQ(OpenSubkey(kKeyConfiguration, "", false, &key), 0);
  std::string text;
  ASSERT_TRUE(GetString(key, kAllowedClientsValue, 64, &text));
  EXPECT_EQ(text, "lan");
}

// Real loopback sockets: refused while loopback is outside the set, served once it is in.
TEST(ClientFilter, AcceptedStreamsAndWaitingDatagramsAreJudgedBySender) {
  platform::testing::TempStore store;
  ASSERT_EQ(SetAllowedClients("10.0.0.0/8"), 0);
  platform::Socket listening = platform::CreateSocket(SOCK_STREAM);
  ASSERT_EQ(platform::BindLoopback(listening, 0), 0);
  ASSERT_EQ(platform::Listen(listening, 4), 0);
  platform::Socket datagrams = platform::CreateSocket(SOCK_DGRAM);
  ASSERT_EQ(platform::BindLoopback(datagrams, 0), 0);
  platform::Socket sender = platform::CreateSocket(SOCK_DGRAM);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(platform::LocalPort(datagrams));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (bool allowed : {false, true}) {
    if (allowed) {
      ASSERT_EQ(SetAllowedClients("lan"), 0);
    }
    platform::Socket client = platform::CreateSocket(SOCK_STREAM);
    ASSERT_EQ(platform::Connect(client, "127.0.0.1", platform::LocalPort(listening)), 0);
    platform::Socket accepted = platform::Accept(listening);
    EXPECT_EQ(AdmitClientSocket(accepted), allowed);
    platform::CloseSocket(accepted);
    platform::CloseSocket(client);

    ASSERT_EQ(platform::SendTo(sender, "q", 1, to), 1);
    ASSERT_EQ(platform::WaitReadable(datagrams, 5000), 1);
    EXPECT_EQ(DropOutsiderDatagram(datagrams), !allowed);
    // A dropped datagram is gone; an admitted one waits for its session.
    EXPECT_EQ(platform::WaitReadable(datagrams, 0), allowed ? 1 : 0);
    if (allowed) {
      char byte;
      EXPECT_EQ(platform::RecvFrom(datagrams, &byte, 1, nullptr), 1);
    }
  }
  EXPECT_FALSE(AdmitClientSocket(platform::kInvalidSocket));
  for (platform::Socket s : {listening, datagrams, sender}) platform::CloseSocket(s);
}

}  // namespace
}  // namespace engine
