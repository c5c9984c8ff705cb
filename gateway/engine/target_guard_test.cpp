// Targets on the gateway's own addresses: refused for remote clients, allowed for clients on
// the gateway machine, and refused for everyone on the gateway's own listening ports.
#include "gateway/engine/target_guard.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <memory>

#include "gateway/engine/service_list.h"
#include "platform/snmp_agent.h"

namespace engine {
namespace {

class TargetGuard : public ::testing::Test {
 protected:
  void SetUp() override {
    Add("WWW", 18080, 1);
    Add("Socks", 11080, 1);
    Add("FTP", 12121, 0);
    Add("DNS", 53, 1);
  }
  void TearDown() override { Services().Clear(); }

  static void Add(const char* type, int port, int active) {
    auto e = std::make_unique<ServiceEntry>();
    e->ServiceType = type;
    e->MappingName = type;
    e->PortNum = port;
    e->IsActive = active;
    Services().Append(std::move(e));
  }
};

TEST_F(TargetGuard, LoopbackFormsAreRefusedForRemoteClientsOnly) {
  for (const char* target :
       {"127.0.0.1", "127.9.8.7", "0.0.0.0", "0.1.2.3", "::", "::1", "::ffff:127.0.0.1"}) {
    EXPECT_TRUE(TargetRefused("192.168.1.20", target, 8080)) << target;
    EXPECT_TRUE(TargetRefused("198.51.100.9", target, 22)) << target;
    EXPECT_FALSE(TargetRefused("127.0.0.1", target, 8080)) << target;
  }
  EXPECT_FALSE(TargetRefused("192.168.1.20", "198.51.100.7", 80));
  EXPECT_FALSE(TargetRefused("192.168.1.20", "", 80));
  EXPECT_FALSE(TargetRefused("192.168.1.20", "128.0.0.1", 80));
}

TEST_F(TargetGuard, OwnListeningPortsAreRefusedForEveryClient) {
  EXPECT_TRUE(TargetRefused("127.0.0.1", "127.0.0.1", 18080));
  EXPECT_TRUE(TargetRefused("127.0.0.1", "0.0.0.0", 11080));
  EXPECT_TRUE(TargetRefused("192.168.1.20", "127.0.0.1", 18080));
  // An inactive service and the DNS entry (a datagram port) listen on no stream port.
  EXPECT_FALSE(TargetRefused("127.0.0.1", "127.0.0.1", 12121));
  EXPECT_FALSE(TargetRefused("127.0.0.1", "127.0.0.1", 53));
  // The same port on a host elsewhere is an ordinary target.
  EXPECT_FALSE(TargetRefused("127.0.0.1", "198.51.100.7", 18080));
}

TEST_F(TargetGuard, InterfaceAddressesCountAsOwnAndTheirClientsAsLocal) {
  std::vector<platform::InterfaceEntry> interfaces;
  ASSERT_EQ(platform::ReadSystemInterfaces(&interfaces), 0);
  std::string own;
  for (const auto& entry : interfaces) {
    if (entry.has_ipv4 && (entry.address >> 24) != 127) {
      in_addr v4{};
      v4.s_addr = htonl(entry.address);
      own = inet_ntoa(v4);
      break;
    }
  }
  if (own.empty()) GTEST_SKIP() << "no address besides loopback here";
  EXPECT_TRUE(TargetRefused("198.51.100.9", own, 8080));
  EXPECT_TRUE(TargetRefused("198.51.100.9", "::ffff:" + own, 8080));
  EXPECT_FALSE(TargetRefused(own, "127.0.0.1", 8080));
  EXPECT_TRUE(TargetRefused(own, own, 18080));
}

}  // namespace
}  // namespace engine
