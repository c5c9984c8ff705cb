// The rule-list holder: the stored security rules, one per numbered Security subkey and in
// that order, with the list lines the Security page shows; and LoadRules, which fills it and
// the engine at start-up. Thread-safe: the records are guarded by mu_ (taken under no other
// lock of ours and never held while calling out).
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "gateway/engine/settings_records.h"

namespace engine {

inline constexpr char kAllText[] = "All";

class RuleListHolder {
 public:
  // "\t%s\t%s\t%s\t%s" of every rule: service text, ClientIP, HostIP, Data as stored.
  [[nodiscard]] std::vector<std::string> Lines() const;
  [[nodiscard]] size_t Size() const;
  // Rule i as stored ("All" stays "All"); false when there is no line i.
  bool RuleAt(size_t i, RuleRecord* rule) const;
  void Append(const RuleRecord& rule);
  bool Replace(size_t i, const RuleRecord& rule);
  bool Erase(size_t i);
  void Clear();

 private:
  mutable std::mutex mu_;
  std::vector<RuleRecord> rules_;  // guarded by mu_
};

// The process-wide holder.
RuleListHolder& TheRuleList();

// The list line of a rule: "\t%s\t%s\t%s\t%s".
[[nodiscard]] std::string RuleLine(const RuleRecord& rule);
// The engine's form of a stored client or host: "All" becomes "".
[[nodiscard]] std::string EngineText(const std::string& stored);
// Puts a stored rule in force in the process-wide engine (AddRule, "All" turned to "").
int EnforceRule(const RuleRecord& rule);
int RevokeRule(const RuleRecord& rule);

// Start-up: empties the holder and the engine, fills the holder from Security subkeys
// 0..TotalSecurity-1 (bounded by the subkeys present) and puts every rule in force. A subkey
// that is missing or holds a rule number outside 0..10 keeps its line (so each line stays at
// the index of its subkey) but is not in force; loading goes on, and the skipped rules are
// reported to the administrator in one message. 0, or -1 when a rule was skipped.
int LoadRules();

}  // namespace engine
