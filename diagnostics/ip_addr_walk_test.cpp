// The IP address table walk against the agent stand-in and against agents that misbehave.
#include "diagnostics/ip_addr_walk.h"

#include <gtest/gtest.h>

namespace diagnostics {
namespace {

using platform::InterfaceEntry;
using platform::VarBind;

SnmpQuery QueryOf(platform::SnmpAgent& agent) {
  return [&agent](uint8_t pdu, std::vector<VarBind>* list, int32_t* status, int32_t* index) {
    return agent.Query(pdu, list, status, index);
  };
}

platform::SnmpAgent AgentOver(std::vector<InterfaceEntry> interfaces) {
  return platform::SnmpAgent([interfaces](std::vector<InterfaceEntry>* out) {
    *out = interfaces;
    return 0;
  });
}

TEST(WalkIpAddrTable, MoreRowsThanInterfacesAllAppearWithTheirOwnMasks) {
  std::string long_name(200, 'n');
  platform::SnmpAgent agent = AgentOver({{"lo", 1, true, 0x7F000001, 0xFF000000},
                                         {long_name, 2, true, 0x0A000001, 0xFF000000},
                                         {long_name, 2, true, 0x0A010001, 0xFFFF0000},
                                         {long_name, 2, true, 0x0A020001, 0xFFFFFF00}});
  std::vector<AdapterRecord> records;
  ASSERT_TRUE(WalkIpAddrTable(QueryOf(agent), &records));
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].address, "10.0.0.1");
  EXPECT_EQ(records[0].mask, "255.0.0.0");
  EXPECT_EQ(records[1].mask, "255.255.0.0");
  EXPECT_EQ(records[2].address, "10.2.0.1");
  EXPECT_EQ(records[2].mask, "255.255.255.0");
  EXPECT_EQ(records[3].address, "127.0.0.1");
  EXPECT_EQ(records[3].description, "lo");
  EXPECT_EQ(records[1].description, std::string(127, 'n'));
}

TEST(WalkIpAddrTable, NoAddressesGivesNoRows) {
  platform::SnmpAgent agent = AgentOver({{"eth0", 2, false, 0, 0}});
  std::vector<AdapterRecord> records = {{}};
  EXPECT_TRUE(WalkIpAddrTable(QueryOf(agent), &records));
  EXPECT_TRUE(records.empty());
}

TEST(WalkIpAddrTable, FailsWhenTheInterfaceCountCannotBeHad) {
  std::vector<AdapterRecord> records;
  EXPECT_FALSE(WalkIpAddrTable(
      [](uint8_t, std::vector<VarBind>*, int32_t*, int32_t*) { return false; }, &records));
  EXPECT_FALSE(WalkIpAddrTable(
      [](uint8_t, std::vector<VarBind>*, int32_t* status, int32_t*) {
        *status = platform::kSnmpGenErr;
        return true;
      },
      &records));
}

// An agent answering ifNumber and then every GETNEXT with `next`, and every GET of a row with
// `row_ok` deciding success.
SnmpQuery FixedAgent(platform::Oid next, uint8_t next_type, bool row_ok, int* getnexts) {
  return [=](uint8_t pdu, std::vector<VarBind>* list, int32_t* status, int32_t*) {
    *status = 0;
    if (pdu == platform::kSnmpPduGetNext) {
      ++*getnexts;
      (*list)[0] = {next, {next_type, 0, "\x0A\0\0\x01"}};
      return true;
    }
    if ((*list)[0].name == platform::kOidIfNumber) {
      (*list)[0].value = {platform::kAsnInteger, 1, {}};
      return true;
    }
    return row_ok;
  };
}

TEST(WalkIpAddrTable, AnswerThatDoesNotAdvanceEndsTheWalk) {
  int getnexts = 0;
  platform::Oid row = {1, 3, 6, 1, 2, 1, 4, 20, 1, 1, 10, 0, 0, 1};
  std::vector<AdapterRecord> records;
  ASSERT_TRUE(
      WalkIpAddrTable(FixedAgent(row, platform::kAsnIpAddress, false, &getnexts), &records));
  EXPECT_EQ(getnexts, 2);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].address, "");  // its GET failed: the row stays empty
}

TEST(WalkIpAddrTable, AddressValueOutsideTheAddressColumnIsNotARow) {
  int getnexts = 0;
  platform::Oid route_dest = {1, 3, 6, 1, 2, 1, 4, 21, 1, 1, 0, 0, 0, 0};
  std::vector<AdapterRecord> records;
  ASSERT_TRUE(
      WalkIpAddrTable(FixedAgent(route_dest, platform::kAsnIpAddress, true, &getnexts), &records));
  EXPECT_TRUE(records.empty());
}

}  // namespace
}  // namespace diagnostics
