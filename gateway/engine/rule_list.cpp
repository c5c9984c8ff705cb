// The rule-list holder's records and lines, and the start-up load of the stored rules.
#include "gateway/engine/rule_list.h"

#include "gateway/engine/access_rules.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/store_access.h"
#include "platform/admin_message.h"

namespace engine {

std::vector<std::string> RuleListHolder::Lines() const {
  std::lock_guard<std::mutex> hold(mu_);
  std::vector<std::string> lines;
  lines.reserve(rules_.size());
  for (const RuleRecord& rule : rules_) lines.push_back(RuleLine(rule));
  return lines;
}

size_t RuleListHolder::Size() const {
  std::lock_guard<std::mutex> hold(mu_);
  return rules_.size();
}

bool RuleListHolder::RuleAt(size_t i, RuleRecord* rule) const {
  std::lock_guard<std::mutex> hold(mu_);
  if (i >= rules_.size()) return false;
  *rule = rules_[i];
  return true;
}

void RuleListHolder::Append(const RuleRecord& rule) {
  std::lock_guard<std::mutex> hold(mu_);
  rules_.push_back(rule);
}

bool RuleListHolder::Replace(size_t i, const RuleRecord& rule) {
  std::lock_guard<std::mutex> hold(mu_);
  if (i >= rules_.size()) return false;
  rules_[i] = rule;
  return true;
}

bool RuleListHolder::Erase(size_t i) {
  std::lock_guard<std::mutex> hold(mu_);
  if (i >= rules_.size()) return false;
  rules_.erase(rules_.begin() + static_cast<std::ptrdiff_t>(i));
  return true;
}

void RuleListHolder::Clear() {
  std::lock_guard<std::mutex> hold(mu_);
  rules_.clear();
}

RuleListHolder& TheRuleList() {
  static RuleListHolder holder;
  return holder;
}

std::string RuleLine(const RuleRecord& rule) {
  std::string line;
  for (const std::string& field :
       {std::string(RuleServiceText(rule.ServiceNum)), rule.ClientIP, rule.HostIP, rule.Data}) {
    line += '\t';
    line += field;
  }
  return line;
}

std::string EngineText(const std::string& stored) { return stored == kAllText ? "" : stored; }

int EnforceRule(const RuleRecord& rule) {
  return AddRule(rule.ServiceNum, EngineText(rule.ClientIP), EngineText(rule.HostIP), rule.Data);
}

int RevokeRule(const RuleRecord& rule) {
  return RemoveRule(rule.ServiceNum, EngineText(rule.ClientIP), EngineText(rule.HostIP), rule.Data);
}

int LoadRules() {
  TheRuleList().Clear();
  TheAccessRules().Clear();
  int total = 0;
  ReadTotalSecurity(&total);
  total = BoundedCount(kKeySecurity, "TotalSecurity", total);
  std::string skipped;
  for (int i = 0; i < total; ++i) {
    // A fresh record per subkey: values missing in one rule must not be taken from another.
    RuleRecord rule;
    const bool read = LoadRule(&rule, i) == 0;
    if (!read) rule.ServiceNum = -1;
    // A rule that cannot be put in force keeps its line, so every later line stays at the
    // index of its subkey, and loading goes on.
    TheRuleList().Append(rule);
    if (!read || rule.ServiceNum < 0 || rule.ServiceNum > kHighestRuleNumber) {
      skipped += (skipped.empty() ? "" : ", ") + std::to_string(i);
      continue;
    }
    (void)EnforceRule(rule);
  }
  if (skipped.empty()) return 0;
  platform::ShowAdminMessage("Wayfarer",
                             "These stored security rules could not be read and are not in "
                             "force: " +
                                 skipped + ".",
                             platform::MessageIcon::kExclamation);
  return -1;
}

}  // namespace engine
