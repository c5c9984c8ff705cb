// The Security page's operations against a private settings store: the dialog's checks, the
// redundancy refusals, the subkey renumbering of a delete, and the start-up load of the rules.
#include "gateway/engine/security_page.h"

#include <gtest/gtest.h>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/rule_list.h"
#include "gateway/engine/store_access.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace engine {
namespace {

using platform::MessageIcon;
using platform::testing::MessageRecorder;

RuleRecord Rule(int n, const std::string& client, const std::string& host,
                const std::string& data = "") {
  return RuleRecord{n, client, host, data};
}

bool SameRule(const RuleRecord& a, const RuleRecord& b) {
  return a.ServiceNum == b.ServiceNum && a.ClientIP == b.ClientIP && a.HostIP == b.HostIP &&
         a.Data == b.Data;
}

RuleRecord Stored(int n) {
  RuleRecord rule;
  EXPECT_EQ(LoadRule(&rule, n), 0);
  return rule;
}

int StoredTotal() {
  int total = -1;
  EXPECT_EQ(ReadTotalSecurity(&total), 0);
  return total;
}

class SecurityPage : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(WriteDefaultConfiguration(), 0);
    ASSERT_EQ(LoadRules(), 0);
  }
  platform::testing::TempStore store_;
  MessageRecorder messages_;
};

TEST_F(SecurityPage, DialogAsksForAClientThenAHostAndBuildsTheStoredRecord) {
  RuleDialogInput input;
  input.rule_number = 2;
  input.host = "10.0.0.9";
  EXPECT_EQ(ValidateRuleInput(input), -1);
  input.all_clients = true;
  input.host.clear();
  EXPECT_EQ(ValidateRuleInput(input), -1);
  input.all_hosts = true;
  EXPECT_EQ(ValidateRuleInput(input), 0);
  auto shown = messages_.messages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "E-10019: Please enter a client.");
  EXPECT_EQ(shown[1].text, "E-10020: Please enter a host.");
  EXPECT_EQ(shown[1].caption, "Wayfarer");
  EXPECT_EQ(shown[1].icon, MessageIcon::kExclamation);

  input.client = "ignored when ticked";
  input.data = "game";
  EXPECT_TRUE(SameRule(BuildRuleRecord(input), Rule(2, "All", "All")));
  input.rule_number = 1;
  input.all_hosts = false;
  input.host = std::string(60, 'h');
  EXPECT_TRUE(SameRule(BuildRuleRecord(input), Rule(1, "All", std::string(49, 'h'), "game")));
  EXPECT_TRUE(SameRule(BuildRuleRecord(DialogInputFor(Rule(1, "All", "x", "game"))),
                       Rule(1, "All", "x", "game")));
}

TEST_F(SecurityPage, SecureStoresEnforcesAndListsTheRule) {
  EXPECT_EQ(SecureRule(Rule(2, "10.0.0.5", "All")), 0);
  EXPECT_EQ(SecureRule(Rule(1, "All", "All", "game;chat")), 1);
  EXPECT_EQ(StoredTotal(), 2);
  EXPECT_TRUE(SameRule(Stored(1), Rule(1, "All", "All", "game;chat")));
  EXPECT_EQ(TheRuleList().Lines(),
            (std::vector<std::string>{"\tFTP\t10.0.0.5\tAll\t", "\tHTTP\tAll\tAll\tgame;chat"}));
  EXPECT_EQ(CheckAccess(kMatchByAddress, 2, "10.0.0.5", "1.2.3.4", ""), -1);
  EXPECT_EQ(CheckAccess(kMatchByAddress, 3, "10.0.0.5", "1.2.3.4", ""), 0);
  EXPECT_EQ(CheckAccess(kMatchByAddress, 1, "10.0.0.6", "1.2.3.4", "GET /Chat"), -1);
  EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(SecurityPage, SecureRefusesARuleTheRulesInForceAlreadyCover) {
  ASSERT_EQ(SecureRule(Rule(0, "All", "All")), 0);
  EXPECT_EQ(SecureRule(Rule(3, "All", "All")), -1);
  EXPECT_EQ(SecureRule(Rule(0, "All", "All")), -1);
  EXPECT_EQ(StoredTotal(), 1);
  EXPECT_EQ(TheRuleList().Size(), 1u);
  auto shown = messages_.messages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text,
            "The Purpose Of The Specified Rule Can Be Achived By Predefined Rule Set");
  EXPECT_EQ(shown[0].icon, MessageIcon::kInformation);
}

TEST_F(SecurityPage, ModifyReplacesTheRuleEverywhere) {
  ASSERT_EQ(SecureRule(Rule(2, "10.0.0.5", "All")), 0);
  ASSERT_EQ(ModifyRule(0, Rule(3, "10.0.0.5", "10.0.0.9")), 0);
  EXPECT_TRUE(SameRule(Stored(0), Rule(3, "10.0.0.5", "10.0.0.9")));
  EXPECT_EQ(StoredTotal(), 1);
  EXPECT_EQ(TheRuleList().Lines(), std::vector<std::string>{"\tTelnet\t10.0.0.5\t10.0.0.9\t"});
  EXPECT_EQ(CheckAccess(kMatchByAddress, 2, "10.0.0.5", "1.2.3.4", ""), 0);
  EXPECT_EQ(CheckAccess(kMatchByAddress, 3, "10.0.0.5", "10.0.0.9", ""), -1);
}

TEST_F(SecurityPage, RedundantModifyKeepsTheOldRuleInForceAndStored) {
  ASSERT_EQ(SecureRule(Rule(0, "All", "10.0.0.9")), 0);
  ASSERT_EQ(SecureRule(Rule(2, "10.0.0.5", "All")), 1);
  EXPECT_EQ(ModifyRule(1, Rule(4, "All", "10.0.0.9")), -1);
  auto shown = messages_.messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text,
            "The Purpose Of The Specified Rule Can Be Achived By Predefined Rule Set\n"
            " This Engine Cannot Make a Redundent Entries");
  EXPECT_EQ(shown[0].icon, MessageIcon::kError);
  EXPECT_TRUE(SameRule(Stored(1), Rule(2, "10.0.0.5", "All")));
  EXPECT_EQ(CheckAccess(kMatchByAddress, 2, "10.0.0.5", "1.2.3.4", ""), -1);
  EXPECT_EQ(ModifyRule(5, Rule(4, "All", "1.1.1.1")), -1);
}

TEST_F(SecurityPage, DeletingTheFirstOfThreeRenumbersAndLeavesTheStaleHighestSubkey) {
  const RuleRecord rules[] = {Rule(2, "10.0.0.5", "All"), Rule(3, "All", "10.0.0.9"),
                              Rule(1, "All", "All", "game")};
  for (const RuleRecord& rule : rules) ASSERT_GE(SecureRule(rule), 0);
  int select = -2;
  ASSERT_EQ(DeleteRule(0, &select), 0);
  EXPECT_EQ(select, 0);
  EXPECT_EQ(StoredTotal(), 2);
  EXPECT_TRUE(SameRule(Stored(0), rules[1]));
  EXPECT_TRUE(SameRule(Stored(1), rules[2]));
  EXPECT_TRUE(SameRule(Stored(2), rules[2]));
  EXPECT_EQ(TheRuleList().Lines(),
            (std::vector<std::string>{"\tTelnet\tAll\t10.0.0.9\t", "\tHTTP\tAll\tAll\tgame"}));
  EXPECT_EQ(CheckAccess(kMatchByAddress, 2, "10.0.0.5", "1.2.3.4", ""), 0);
  EXPECT_EQ(CheckAccess(kMatchByAddress, 3, "10.0.0.6", "10.0.0.9", ""), -1);

  ASSERT_EQ(DeleteRule(1, &select), 0);
  EXPECT_EQ(select, 0);
  EXPECT_EQ(CheckAccess(kMatchByAddress, 1, "10.0.0.6", "1.2.3.4", "game"), 0);
  ASSERT_EQ(DeleteRule(0, &select), 0);
  EXPECT_EQ(select, -1);
  EXPECT_EQ(StoredTotal(), 0);
  EXPECT_EQ(DeleteRule(0, &select), -1);
}

TEST_F(SecurityPage, StoredDenyRuleRefusesOneLoopbackClientAfterStartUp) {
  ASSERT_EQ(AppendRule(Rule(6, "127.0.0.1", "All")), 0);
  ASSERT_EQ(AppendRule(Rule(1, "All", "127.0.0.1", "secret")), 0);
  TheAccessRules().Clear();
  ASSERT_EQ(LoadRules(), 0);
  EXPECT_EQ(TheRuleList().Lines(), (std::vector<std::string>{"\tMapping\t127.0.0.1\tAll\t",
                                                             "\tHTTP\tAll\t127.0.0.1\tsecret"}));
  EXPECT_EQ(CheckAccess(kMatchByAddress, 6, "127.0.0.1", "127.0.0.1", ""), -1);
  EXPECT_EQ(CheckAccess(kMatchByAddress, 6, "127.0.0.2", "127.0.0.1", ""), 0);
  EXPECT_EQ(CheckAccess(kMatchByAddress, 1, "127.0.0.2", "127.0.0.1", "GET /SECRET"), -1);
}

TEST_F(SecurityPage, BadRulesAreSkippedAndReportedOnceWhileTheOthersLoadAtTheirSubkeys) {
  ASSERT_EQ(AppendRule(Rule(2, "10.0.0.5", "All")), 0);
  ASSERT_EQ(AppendRule(Rule(99, "10.0.0.6", "All")), 0);
  ASSERT_EQ(AppendRule(Rule(3, "10.0.0.7", "All")), 0);
  ASSERT_EQ(AppendRule(Rule(4, "10.0.0.8", "All")), 0);
  platform::RegKey security;
  ASSERT_EQ(OpenSubkey(kKeySecurity, "", false, &security), 0);
  ASSERT_EQ(platform::RegDeleteKey(security, "2"), platform::kErrorSuccess);
  MessageRecorder messages;
  EXPECT_EQ(LoadRules(), -1);
  ASSERT_EQ(messages.texts().size(), 1u);
  EXPECT_NE(messages.texts()[0].find("1, 2."), std::string::npos) << messages.texts()[0];
  EXPECT_EQ(TheRuleList().Size(), 4u);
  EXPECT_EQ(CheckAccess(kMatchByAddress, 2, "10.0.0.5", "1.2.3.4", ""), -1);
  EXPECT_EQ(CheckAccess(kMatchByAddress, 4, "10.0.0.8", "1.2.3.4", ""), -1);
  EXPECT_EQ(CheckAccess(kMatchByAddress, 3, "10.0.0.7", "1.2.3.4", ""), 0);
  RuleRecord line3;
  ASSERT_TRUE(TheRuleList().RuleAt(3, &line3));
  EXPECT_TRUE(SameRule(line3, Rule(4, "10.0.0.8", "All"))) << "lines keep their subkeys";
}

TEST_F(SecurityPage, AHugeRuleCountIsBoundedByTheSubkeysPresent) {
  ASSERT_EQ(AppendRule(Rule(2, "10.0.0.5", "All")), 0);
  ASSERT_EQ(WriteTotalSecurity(0x7FFFFFF0), 0);
  EXPECT_EQ(LoadRules(), 0);
  EXPECT_EQ(TheRuleList().Size(), 1u);
  EXPECT_EQ(CheckAccess(kMatchByAddress, 2, "10.0.0.5", "1.2.3.4", ""), -1);
}

}  // namespace
}  // namespace engine
