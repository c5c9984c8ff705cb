// What the Security page and its rule dialog do, as plain functions the page calls: checking
// the dialog's input, adding with the redundancy check, modifying, deleting with the
// renumbering of the Security subkeys. Console thread only (one page operation at a time);
// each keeps the store, the engine and the rule-list holder in step.
#pragma once

#include <string>

#include "gateway/engine/settings_records.h"

namespace engine {

inline constexpr size_t kRuleAddressInput = 49;  // characters the client and host edits take
inline constexpr size_t kRuleDataInput = 99;     // characters the Data edit takes

// What the rule dialog holds when OK is pressed.
struct RuleDialogInput {
  int rule_number = 0;       // the radio button: 0 "All" ... 10 "RealAudio"
  bool all_clients = false;  // "Check this to deny all clients OR Specify Client IP."
  std::string client;
  bool all_hosts = false;  // "Check this to deny all hosts OR Specify Host IP."
  std::string host;
  std::string data;  // taken only for "HTTP"
};

// 0 when the dialog may close; -1 after E-10019 (no client) or E-10020 (no host).
[[nodiscard]] int ValidateRuleInput(const RuleDialogInput& input);
// The stored record: a ticked box gives "All", texts cut to the edits' widths.
[[nodiscard]] RuleRecord BuildRuleRecord(const RuleDialogInput& input);
// The dialog's contents for a stored rule (for "&Modify").
[[nodiscard]] RuleDialogInput DialogInputFor(const RuleRecord& rule);

// "&Secure": the index of the new line (to select), or -1 when the rule is covered by the
// rules in force (the administrator has been told) or could not be stored (nothing changed).
[[nodiscard]] int SecureRule(const RuleRecord& rule);
// "&Modify" of line index: 0, or -1 when the new rule is redundant (the administrator has been
// told) or could not be stored; on -1 the old rule stays in force and in the list.
[[nodiscard]] int ModifyRule(size_t index, const RuleRecord& rule);
// "&Delete" of line index. 0 with *select = the line to select next (the previous one, or the
// first), or -1 when the list is now empty (disable "&Modify" and "&Delete"). -1 for a bad
// index or a store failure.
[[nodiscard]] int DeleteRule(size_t index, int* select);

}  // namespace engine
