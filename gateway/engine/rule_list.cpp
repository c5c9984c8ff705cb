// The rule-list holder's records and lines, and the start-up load of the stored rules.
#include "gateway/engine/rule_list.h"

#include "gateway/engine/access_rules.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/service_catalogue.h"

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
  for (int i = 0; i < total; ++i) {
    // A fresh record per subkey: values missing in one rule must not be taken from another.
    RuleRecord rule;
    if (LoadRule(&rule, i) != 0 || rule.ServiceNum < 0 || rule.ServiceNum > kHighestRuleNumber) {
      return -1;
    }
    TheRuleList().Append(rule);
    (void)EnforceRule(rule);
  }
  return 0;
}

}  // namespace engine
