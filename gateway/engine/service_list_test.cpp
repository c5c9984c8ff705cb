// The ServiceList's loading rules, its lookups and the renumbering after a delete.
#include "gateway/engine/service_list.h"

#include <gtest/gtest.h>

#include "gateway/engine/config_store.h"
#include "gateway/engine/service_catalogue.h"
#include "platform/testing/temp_store.h"

namespace engine {
namespace {

ServiceEntry Mapping(const std::string& name, int port, const std::string& host) {
  ServiceEntry m;
  m.ServiceType = kTcpMappedLinkType;
  m.MappingName = name;
  m.PortNum = port;
  m.IsActive = 1;
  m.TimeOut = 1;
  m.TimeoutAfter = 60;
  m.DefaultHost = host;
  m.DefaultHostPortNum = 25;
  m.ProtocolType = 0;
  return m;
}

class ServiceListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(WriteDefaultConfiguration(), 0);
    ASSERT_EQ(CreateServiceEntry(10, Mapping("SMTP", 2525, "mail.example")), 0);
    ASSERT_EQ(CreateServiceEntry(11, Mapping("Intranet", 8080, "10.0.0.9")), 0);
    ASSERT_EQ(CreateServiceEntry(12, Mapping("Printer", 9100, "10.0.0.7")), 0);
    ASSERT_EQ(list_.Load(), 0);
  }
  platform::testing::TempStore store_;
  ServiceList list_;
};

TEST_F(ServiceListTest, LoadsInStoreOrderWithIndexes) {
  auto all = list_.Snapshot();
  ASSERT_EQ(all.size(), 13u);
  for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i].index, static_cast<int>(i));
  EXPECT_EQ(all[12].MappingName, "Printer");
  ServiceEntry found;
  EXPECT_TRUE(list_.Find(8080, "Intranet", &found));
  EXPECT_TRUE(list_.Find(8080, kTcpMappedLinkType, &found));
  EXPECT_FALSE(list_.Find(8081, "Intranet", &found));
}

TEST_F(ServiceListTest, KindNamesWinOverMappingNames) {
  Services().Clear();
  EXPECT_EQ(ServiceCodeFromName("SMTP"), kCodeSmtp);
  EXPECT_EQ(ServiceCodeFromName("smtp"), -1) << "kind names compare case-sensitively";
  EXPECT_EQ(RuleNumberFor(kCodeUdpMappedLink), 6);
  EXPECT_EQ(RuleNumberFor(kCodeRealAudio), 10);
  EXPECT_EQ(RuleNumberFor(22), -1);
  std::string name;
  EXPECT_FALSE(ServiceNameFromCode(10, &name));
  EXPECT_TRUE(ServiceNameFromCode(kCodeUdpMappedLink, &name));
  EXPECT_EQ(name, "UDP Mapped Link");
}

TEST_F(ServiceListTest, LookupsBySocket) {
  list_.ForEach([](ServiceEntry& e) {
    if (e.MappingName == "Intranet") {
      e.listening_socket = 1000;
      e.service_code = kCodeTcpMappedLink;
    }
    if (e.ServiceType == "WWW") {
      e.listening_socket = 1001;
      e.TimeOut = 1;
      e.TimeoutAfter = 0;
    }
  });
  EXPECT_EQ(list_.ServiceCodeForSocket(1000), kCodeTcpMappedLink);
  EXPECT_EQ(list_.ServiceCodeForSocket(999), -1);
  EXPECT_EQ(list_.ServiceCodeForSocket(platform::kInvalidSocket), -1);
  std::string name = "x";
  EXPECT_EQ(list_.ServiceNameForSocket(1000, &name), 0);
  EXPECT_EQ(name, "Intranet");
  EXPECT_EQ(list_.ServiceNameForSocket(999, &name), -1);
  EXPECT_EQ(name, "");
  EXPECT_EQ(list_.IdleTimeoutFor(1000), 60);
  EXPECT_EQ(list_.IdleTimeoutFor(1001), -1) << "TimeOut 1 with TimeoutAfter 0 means none";
  EXPECT_EQ(list_.CodeForMappingName("Intranet"), kCodeTcpMappedLink);
  list_.ForEach([](ServiceEntry& e) { e.listening_socket = platform::kInvalidSocket; });
}

TEST_F(ServiceListTest, FailedTargetIsNotKeptAndItsFailureIsRemembered) {
  int calls = 0;
  auto failing = [&](const std::string&, std::string*) { return ++calls, -1; };
  auto working = [&](const std::string&, std::string* dotted) {
    *dotted = "10.7.7.7";
    return ++calls, 0;
  };
  list_.ForEach([](ServiceEntry& e) {
    if (e.MappingName == "SMTP" && e.PortNum == 2525) {
      e.listening_socket = 1002;
      e.resolved_target = kUnresolved;
    }
  });
  std::string address = "x";
  int port = 0;
  ASSERT_EQ(list_.MappedTargetFor(1002, &address, &port, failing), 0);
  EXPECT_EQ(address, "");
  EXPECT_EQ(port, 25);
  ASSERT_EQ(list_.MappedTargetFor(1002, &address, &port, working), 0);
  EXPECT_EQ(address, "");
  EXPECT_EQ(calls, 1) << "the failure is remembered for a while";
  bool unresolved = false;
  list_.ForEach([&](ServiceEntry& e) {
    if (e.listening_socket == 1002) unresolved = e.resolved_target == kUnresolved;
  });
  EXPECT_TRUE(unresolved) << "a failure is not kept as the entry's address";
  list_.ForEach([](ServiceEntry& e) { e.listening_socket = platform::kInvalidSocket; });
}

TEST_F(ServiceListTest, DeleteMovesLaterEntriesDownAndRefusesBuiltInKinds) {
  EXPECT_EQ(list_.Delete(80, "WWW"), -1);
  EXPECT_EQ(list_.Delete(2525, "SMTP"), -1) << "the kind name SMTP is not the mapping";
  ASSERT_EQ(list_.Delete(8080, "Intranet"), 0);
  int total = 0;
  ASSERT_EQ(ReadTotalServices(&total), 0);
  EXPECT_EQ(total, 12);
  ServiceEntry moved;
  ASSERT_EQ(LoadServiceEntry(11, &moved), 0);
  EXPECT_EQ(moved.MappingName, "Printer");
  EXPECT_EQ(moved.DefaultHost, "10.0.0.7");
  auto all = list_.Snapshot();
  ASSERT_EQ(all.size(), 12u);
  EXPECT_EQ(all[11].index, 11);
  ServiceList reloaded;
  ASSERT_EQ(reloaded.Load(), 0);
  EXPECT_EQ(reloaded.Snapshot()[11].MappingName, "Printer");
}

TEST_F(ServiceListTest, UpdateTakesTargetFieldsOnlyForMappedKinds) {
  ServiceEntry change;
  ASSERT_TRUE(list_.Find(80, "WWW", &change));
  change.PortNum = 8000;
  change.ListenCapacity = 99;
  change.DefaultHost = "ignored";
  ASSERT_EQ(list_.Update(80, "WWW", change), 0);
  ServiceEntry back;
  ASSERT_EQ(LoadServiceEntry(0, &back), 0);
  EXPECT_EQ(back.PortNum, 8000);
  EXPECT_EQ(back.ListenCapacity, 10) << "ListenCapacity is not taken over";
  EXPECT_EQ(back.DefaultHost, "");
  EXPECT_EQ(list_.Update(80, "WWW", change), -1) << "the entry now listens on 8000";
}

TEST(ServiceListEmpty, NoServicesStillGivesOneEmptyInactiveEntry) {
  platform::testing::TempStore store;
  ASSERT_EQ(WriteDefaultConfiguration(), 0);
  ASSERT_EQ(WriteTotalServices(0), 0);
  ServiceList list;
  ASSERT_EQ(list.Load(), 0);
  auto all = list.Snapshot();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].IsActive, 0);
  EXPECT_EQ(all[0].ServiceType, "");
}

}  // namespace
}  // namespace engine
