// Tests of the MIB-II agent stand-in: table order and walk ends on a synthetic interface list,
// the loopback row of the real machine, and several addresses on one interface inside a
// private network namespace.
#include "platform/snmp_agent.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace platform {
namespace {

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

std::vector<InterfaceEntry> SampleInterfaces() {
  return {
      {"lo", 1, true, Ip(127, 0, 0, 1), Ip(255, 0, 0, 0)},
      {"eth0", 2, true, Ip(192, 168, 1, 2), Ip(255, 255, 255, 0)},
      {"eth0", 2, true, Ip(10, 0, 0, 5), Ip(255, 0, 0, 0)},
      {"wlan0", 3, false, 0, 0},
  };
}

SnmpAgent SampleAgent() {
  return SnmpAgent([](std::vector<InterfaceEntry>* out) {
    *out = SampleInterfaces();
    return 0;
  });
}

std::string Dotted(const AsnValue& v) {
  if (v.type != kAsnIpAddress || v.bytes.size() != 4) return "?";
  std::string s;
  for (unsigned char c : v.bytes) s += (s.empty() ? "" : ".") + std::to_string(c);
  return s;
}

// Walks the address column the way a manager does; returns the addresses and the value type
// that ended the walk.
std::vector<std::string> WalkAddresses(SnmpAgent& agent, uint8_t* end_type) {
  std::vector<std::string> out;
  std::vector<VarBind> list = {{kOidIpAddrTable, {}}};
  int32_t status = 0, index = 0;
  for (int guard = 0; guard < 1000; ++guard) {
    EXPECT_TRUE(agent.Query(kSnmpPduGetNext, &list, &status, &index));
    EXPECT_EQ(status, kSnmpNoError);
    if (list[0].value.type != kAsnIpAddress) break;
    out.push_back(Dotted(list[0].value));
  }
  *end_type = list[0].value.type;
  return out;
}

TEST(SnmpAgent, AddressColumnIsInAddressOrderAndEndsAtTheIndexColumn) {
  SnmpAgent agent = SampleAgent();
  ASSERT_TRUE(agent.Init());
  uint8_t end_type = 0;
  EXPECT_EQ(WalkAddresses(agent, &end_type),
            (std::vector<std::string>{"10.0.0.5", "127.0.0.1", "192.168.1.2"}));
  EXPECT_EQ(end_type, kAsnInteger);
}

TEST(SnmpAgent, RowColumnsAndDescriptionOfSeveralAddressesOnOneInterface) {
  SnmpAgent agent = SampleAgent();
  for (uint32_t host : {Ip(10, 0, 0, 5), Ip(192, 168, 1, 2)}) {
    std::vector<VarBind> row;
    for (uint32_t column = 1; column <= 4; ++column) {
      Oid oid = kOidIpAdEntAddr;
      oid[9] = column;
      for (int i = 0; i < 4; ++i) oid.push_back((host >> (24 - 8 * i)) & 0xFF);
      row.push_back({oid, {}});
    }
    int32_t status = -1, index = -1;
    ASSERT_TRUE(agent.Query(kSnmpPduGet, &row, &status, &index));
    ASSERT_EQ(status, kSnmpNoError);
    EXPECT_EQ(row[1].value.type, kAsnInteger);
    EXPECT_EQ(row[1].value.number, 2);
    EXPECT_EQ(Dotted(row[2].value), host == Ip(10, 0, 0, 5) ? "255.0.0.0" : "255.255.255.0");
    std::vector<VarBind> descr = {{kOidIfDescr, {}}};
    descr[0].name.push_back(static_cast<uint32_t>(row[1].value.number));
    ASSERT_TRUE(agent.Query(kSnmpPduGet, &descr, &status, &index));
    EXPECT_EQ(descr[0].value.bytes, "eth0");
  }
}

TEST(SnmpAgent, IfNumberCountsInterfacesNotAddresses) {
  SnmpAgent agent = SampleAgent();
  std::vector<VarBind> list = {{kOidIfNumber, {}}};
  int32_t status = -1, index = -1;
  ASSERT_TRUE(agent.Query(kSnmpPduGet, &list, &status, &index));
  EXPECT_EQ(status, kSnmpNoError);
  EXPECT_EQ(list[0].value.number, 3);
}

TEST(SnmpAgent, FaultsLeaveTheListUnchanged) {
  SnmpAgent agent = SampleAgent();
  int32_t status = 0, index = 0;
  std::vector<VarBind> get = {{kOidIfNumber, {}}, {{1, 3, 6, 1, 2, 1, 99}, {}}};
  ASSERT_TRUE(agent.Query(kSnmpPduGet, &get, &status, &index));
  EXPECT_EQ(status, kSnmpNoSuchName);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(get[0].value.type, kAsnNull);

  std::vector<VarBind> past_end = {{{1, 3, 6, 1, 2, 1, 4, 20, 1, 5, 255, 255, 255, 255}, {}}};
  ASSERT_TRUE(agent.Query(kSnmpPduGetNext, &past_end, &status, &index));
  EXPECT_EQ(status, kSnmpNoSuchName);
  EXPECT_EQ(index, 1);

  EXPECT_FALSE(agent.Query(0xA3 /* SET */, &get, &status, &index));
}

TEST(SnmpAgent, AddressOnTwoInterfacesGivesOneRowForTheLowerIndex) {
  auto mib = BuildMib({{"b", 7, true, Ip(10, 1, 1, 1), Ip(255, 255, 0, 0)},
                       {"a", 4, true, Ip(10, 1, 1, 1), Ip(255, 0, 0, 0)}});
  Oid if_index = {1, 3, 6, 1, 2, 1, 4, 20, 1, 2, 10, 1, 1, 1};
  ASSERT_TRUE(mib.count(if_index));
  EXPECT_EQ(mib[if_index].number, 4);
  if_index[9] = 3;
  EXPECT_EQ(Dotted(mib[if_index]), "255.0.0.0");
}

TEST(SnmpAgent, UnreadableInterfacesAnswerGenErr) {
  SnmpAgent agent([](std::vector<InterfaceEntry>*) { return -1; });
  EXPECT_FALSE(agent.Init());
  std::vector<VarBind> list = {{kOidIfNumber, {}}};
  int32_t status = 0, index = 0;
  ASSERT_TRUE(agent.Query(kSnmpPduGet, &list, &status, &index));
  EXPECT_EQ(status, kSnmpGenErr);
}

TEST(SnmpAgent, RealMachineHasTheLoopbackRow) {
  SnmpAgent agent;
  ASSERT_TRUE(agent.Init());
  std::vector<VarBind> row = {{{1, 3, 6, 1, 2, 1, 4, 20, 1, 2, 127, 0, 0, 1}, {}},
                              {{1, 3, 6, 1, 2, 1, 4, 20, 1, 3, 127, 0, 0, 1}, {}}};
  int32_t status = -1, index = -1;
  ASSERT_TRUE(agent.Query(kSnmpPduGet, &row, &status, &index));
  ASSERT_EQ(status, kSnmpNoError);
  EXPECT_EQ(Dotted(row[1].value), "255.0.0.0");
  std::vector<VarBind> descr = {{kOidIfDescr, {}}};
  descr[0].name.push_back(static_cast<uint32_t>(row[0].value.number));
  ASSERT_TRUE(agent.Query(kSnmpPduGet, &descr, &status, &index));
  EXPECT_EQ(descr[0].value.bytes, "lo");
  uint8_t end_type = 0;
  auto addresses = WalkAddresses(agent, &end_type);
  EXPECT_NE(std::find(addresses.begin(), addresses.end(), "127.0.0.1"), addresses.end());
  EXPECT_EQ(end_type, kAsnInteger);
}

// Child of the namespace test: 0 when the walk shows both extra addresses on lo.
int CheckExtraAddressesInChild() {
  if (unshare(CLONE_NEWNET) != 0) return 77;
  // The namespace is ours: a failing ip command is a fault of the test set-up, not a skip.
  if (std::system("ip link set lo up && ip addr add 10.9.0.1/16 dev lo && "
                  "ip addr add 10.9.1.1/24 dev lo") != 0) {
    return 6;
  }
  SnmpAgent agent;
  if (!agent.Init()) return 1;
  uint8_t end_type = 0;
  auto addresses = WalkAddresses(agent, &end_type);
  if (addresses != std::vector<std::string>{"10.9.0.1", "10.9.1.1", "127.0.0.1"}) return 2;
  std::vector<VarBind> masks = {{{1, 3, 6, 1, 2, 1, 4, 20, 1, 3, 10, 9, 0, 1}, {}},
                                {{1, 3, 6, 1, 2, 1, 4, 20, 1, 3, 10, 9, 1, 1}, {}}};
  int32_t status = 0, index = 0;
  if (!agent.Query(kSnmpPduGet, &masks, &status, &index) || status != 0) return 3;
  if (Dotted(masks[0].value) != "255.255.0.0" || Dotted(masks[1].value) != "255.255.255.0") {
    return 4;
  }
  return end_type == kAsnInteger ? 0 : 5;
}

TEST(SnmpAgent, SeveralAddressesOnOneInterfaceInPrivateNamespace) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(CheckExtraAddressesInChild());
  int wstatus = 0;
  ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
  ASSERT_TRUE(WIFEXITED(wstatus));
  if (WEXITSTATUS(wstatus) == 77) GTEST_SKIP() << "no private network namespace here";
  EXPECT_EQ(WEXITSTATUS(wstatus), 0);
}

}  // namespace
}  // namespace platform
