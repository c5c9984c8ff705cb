// The Services page's operations on real listeners and a private store: a new mapping listens
// at once and is stored, a changed port moves the listener, an inactive service closes its
// port, a delete renumbers the later subkeys, and built-in services are never deleted.
#include "gateway/engine/service_page.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include "gateway/engine/config_store.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/store_access.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace engine {
namespace {

using platform::testing::MessageRecorder;

uint16_t FreePort() {
  platform::Socket probe = platform::CreateSocket(SOCK_STREAM);
  uint16_t port = 0;
  if (platform::BindLoopback(probe, 0) == 0) port = platform::LocalPort(probe);
  platform::CloseSocket(probe);
  return port;
}

bool Answers(int port) {
  platform::Socket c = platform::CreateSocket(SOCK_STREAM);
  const bool ok = platform::Connect(c, "127.0.0.1", static_cast<uint16_t>(port), 2000) == 0;
  platform::CloseSocket(c);
  return ok;
}

std::string StoredName(int n) {
  platform::RegKey key;
  std::string name = "(no subkey)";
  if (OpenNumbered(kKeyService, n, false, &key) == 0) {
    name.clear();
    (void)GetString(key, "MappingName", kMappingNameWidth, &name);
  }
  return name;
}

int StoredDword(int n, const char* value) {
  platform::RegKey key;
  int v = -1;
  if (OpenNumbered(kKeyService, n, false, &key) == 0) (void)GetDword(key, value, &v);
  return v;
}

ServiceEntry ListedAt(int index) {
  for (const ServiceEntry& e : Services().Snapshot()) {
    if (e.index == index) return e;
  }
  return {};
}

class ServicePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(WriteDefaultConfiguration(), 0);
    for (int i = 0; i < 10; ++i) {
      platform::RegKey key;
      ASSERT_EQ(OpenNumbered(kKeyService, i, false, &key), 0);
      ASSERT_TRUE(SetDword(key, "IsActive", 0));
    }
    ASSERT_EQ(Services().Load(), 0);
  }
  void TearDown() override {
    Services().CloseAllListeners();
    Services().Clear();
  }
  static ServiceDialogInput NewMapping(int port, const std::string& name, bool active = true) {
    ServiceDialogInput in;
    in.active = active;
    in.port = port;
    in.timeout = true;
    in.seconds = kNewMappingSeconds;
    in.server = "127.0.0.1";
    in.server_port = 7;
    in.mapping_name = name;
    return in;
  }

  platform::testing::TempStore store_;
};

TEST_F(ServicePageTest, NewMappingListensAtOnceAndModifyMovesItsPort) {
  const int first = FreePort();
  ServiceEntry added;
  ASSERT_EQ(AddMapping(NewMapping(first, "Web"), &added), 0);
  EXPECT_EQ(added.index, 10);
  EXPECT_TRUE(Answers(first));
  int total = 0;
  ASSERT_EQ(ReadTotalServices(&total), 0);
  EXPECT_EQ(total, 11);
  EXPECT_EQ(StoredName(10), "Web");
  EXPECT_EQ(StoredDword(10, "ListenCapacity"), kNewMappingCapacity);

  const int second = FreePort();
  ServiceDialogInput changed = ServiceDialogInputFor(added);
  changed.port = second;
  ServiceEntry now;
  ASSERT_EQ(ModifyService(added, changed, &now), 0);
  EXPECT_EQ(now.PortNum, second);
  EXPECT_FALSE(Answers(first)) << "the old port stops answering";
  EXPECT_TRUE(Answers(second));
  EXPECT_EQ(StoredDword(10, "PortNum"), second);

  changed.active = false;
  ASSERT_EQ(ModifyService(now, changed, &now), 0);
  EXPECT_FALSE(Answers(second)) << "an inactive mapping listens nowhere";
  EXPECT_EQ(StoredDword(10, "IsActive"), 0);
}

TEST_F(ServicePageTest, BuiltInServiceOpensAndClosesItsPort) {
  const int port = FreePort();
  ServiceEntry telnet = ListedAt(1);
  ASSERT_EQ(telnet.ServiceType, "Telnet");
  ServiceDialogInput in = ServiceDialogInputFor(telnet);
  in.active = true;
  in.port = port;
  ServiceEntry now;
  ASSERT_EQ(ModifyService(telnet, in, &now), 0);
  EXPECT_TRUE(Answers(port));
  EXPECT_EQ(now.service_code, kCodeTelnet);
  in.active = false;
  ASSERT_EQ(ModifyService(now, in, &now), 0);
  EXPECT_FALSE(Answers(port));
  EXPECT_EQ(StoredDword(1, "PortNum"), port);
}

TEST_F(ServicePageTest, DeleteRenumbersLaterMappingsAndBuiltInsStay) {
  ServiceEntry a, b, c;
  ASSERT_EQ(AddMapping(NewMapping(FreePort(), "A", false), &a), 0);
  ASSERT_EQ(AddMapping(NewMapping(FreePort(), "", false), &b), 0);
  ASSERT_EQ(AddMapping(NewMapping(FreePort(), "C", false), &c), 0);
  EXPECT_EQ(ServiceRowName(b), kTcpMappedLinkType) << "unnamed shows its kind";
  EXPECT_EQ(StoredName(11), "") << "and stores no name";
  ASSERT_EQ(DeleteService(a), 0);
  int total = 0;
  ASSERT_EQ(ReadTotalServices(&total), 0);
  EXPECT_EQ(total, 12);
  EXPECT_EQ(Services().size(), 12u);
  // A moved entry is loaded and saved again, so its name is stored as it loads: its kind.
  EXPECT_EQ(StoredName(10), kTcpMappedLinkType);
  EXPECT_EQ(StoredName(11), "C");
  EXPECT_EQ(ListedAt(11).MappingName, "C");

  MessageRecorder recorder;
  EXPECT_EQ(DeleteService(ListedAt(9)), -1);
  ASSERT_EQ(recorder.texts().size(), 1u);
  EXPECT_EQ(recorder.texts()[0], "Can't delete DNS service");
  EXPECT_EQ(Services().size(), 12u);
  ASSERT_EQ(ReadTotalServices(&total), 0);
  EXPECT_EQ(total, 12);
}

TEST_F(ServicePageTest, DnsChangeKeepsPort53AndStoresItsFlags) {
  ServiceEntry dns = ListedAt(9);
  ASSERT_EQ(dns.ServiceType, kDnsServiceType);
  ServiceDialogInput in = ServiceDialogInputFor(dns);
  in.port = 5353;
  in.use_dialler = false;
  in.use_cache = true;
  ServiceEntry now;
  MessageRecorder recorder;
  ASSERT_EQ(ModifyService(dns, in, &now), 0);
  EXPECT_EQ(now.PortNum, kDnsPort);
  EXPECT_EQ(StoredDword(9, "UseDialler"), 0);
  EXPECT_EQ(StoredDword(9, "UseDnsCache"), 1);
  EXPECT_TRUE(recorder.texts().empty());
}

}  // namespace
}  // namespace engine
