// The Security page's operations: validation, the redundancy check, and the store, engine and
// rule-list writes of adding, modifying and deleting a rule.
#include "gateway/engine/security_page.h"

#include "gateway/engine/access_rules.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/rule_list.h"
#include "platform/admin_message.h"
#include "platform/registry.h"

namespace engine {
namespace {

using platform::MessageIcon;

constexpr char kCaption[] = "Wayfarer";
constexpr char kNoClientText[] = "E-10019: Please enter a client.";
constexpr char kNoHostText[] = "E-10020: Please enter a host.";
constexpr char kRedundantText[] =
    "The Purpose Of The Specified Rule Can Be Achived By Predefined Rule Set";
constexpr char kRedundantModifyText[] =
    "The Purpose Of The Specified Rule Can Be Achived By Predefined Rule Set\n"
    " This Engine Cannot Make a Redundent Entries";
constexpr int kHttpRule = 1;

// The redundancy check: would the rules in force already deny what this rule denies?
bool IsCovered(const RuleRecord& rule) {
  return CheckAccess(kMatchByText, rule.ServiceNum, EngineText(rule.ClientIP),
                     EngineText(rule.HostIP), rule.Data) != 0;
}

}  // namespace

int ValidateRuleInput(const RuleDialogInput& input) {
  if (!input.all_clients && input.client.empty()) {
    platform::ShowAdminMessage(kCaption, kNoClientText, MessageIcon::kExclamation);
    return -1;
  }
  if (!input.all_hosts && input.host.empty()) {
    platform::ShowAdminMessage(kCaption, kNoHostText, MessageIcon::kExclamation);
    return -1;
  }
  return 0;
}

RuleRecord BuildRuleRecord(const RuleDialogInput& input) {
  RuleRecord rule;
  rule.ServiceNum = input.rule_number;
  rule.ClientIP = input.all_clients ? kAllText : input.client.substr(0, kRuleAddressInput);
  rule.HostIP = input.all_hosts ? kAllText : input.host.substr(0, kRuleAddressInput);
  if (input.rule_number == kHttpRule) rule.Data = input.data.substr(0, kRuleDataInput);
  return rule;
}

RuleDialogInput DialogInputFor(const RuleRecord& rule) {
  RuleDialogInput input;
  input.rule_number = rule.ServiceNum;
  input.all_clients = rule.ClientIP == kAllText;
  if (!input.all_clients) input.client = rule.ClientIP;
  input.all_hosts = rule.HostIP == kAllText;
  if (!input.all_hosts) input.host = rule.HostIP;
  input.data = rule.Data;
  return input;
}

int SecureRule(const RuleRecord& rule) {
  if (IsCovered(rule)) {
    platform::ShowAdminMessage(kCaption, kRedundantText, MessageIcon::kInformation);
    return -1;
  }
  // Stored first: a rule in force that the store and the list do not show could be neither
  // seen nor deleted.
  if (AppendRule(rule) != 0) return -1;
  (void)EnforceRule(rule);
  TheRuleList().Append(rule);
  return static_cast<int>(TheRuleList().Size()) - 1;
}

int ModifyRule(size_t index, const RuleRecord& rule) {
  RuleRecord old_rule;
  if (!TheRuleList().RuleAt(index, &old_rule)) return -1;
  (void)RevokeRule(old_rule);
  if (IsCovered(rule)) {
    (void)EnforceRule(old_rule);
    platform::ShowAdminMessage(kCaption, kRedundantModifyText, MessageIcon::kError);
    return -1;
  }
  if (SaveRule(rule, static_cast<int>(index)) != 0) {
    (void)EnforceRule(old_rule);
    return -1;
  }
  (void)EnforceRule(rule);
  TheRuleList().Replace(index, rule);
  return 0;
}

namespace {

// Subkeys index+1 .. total-1 move down one; the highest old subkey stays behind, beyond the
// total, where nothing reads it.
int CloseGapAt(size_t index, int total) {
  for (int i = static_cast<int>(index) + 1; i < total; ++i) {
    RuleRecord moved;
    if (LoadRule(&moved, i) != 0 || SaveRule(moved, i - 1) != 0) return -1;
  }
  return 0;
}

}  // namespace

int DeleteRule(size_t index, int* select) {
  *select = -1;
  RuleRecord rule;
  int total = 0;
  if (!TheRuleList().RuleAt(index, &rule)) return -1;
  {
    // The later rules move down and the count drops in one transaction: a kill half-way
    // leaves the list as it was, never a rule twice.
    platform::StoreTransaction renumbering;
    if (ReadTotalSecurity(&total) != 0 || CloseGapAt(index, total) != 0 ||
        WriteTotalSecurity(total - 1) != 0 || !renumbering.Commit()) {
      return -1;
    }
  }
  (void)RevokeRule(rule);
  TheRuleList().Erase(index);
  const size_t left = TheRuleList().Size();
  if (left > 0) *select = index > 0 ? static_cast<int>(index) - 1 : 0;
  return 0;
}

}  // namespace engine
