// Stored records beside the services: security rules, the dial-on-demand settings with the
// profiles' credentials, and the master password. Any thread (the store is thread-safe).
#pragma once

#include <string>

namespace engine {

inline constexpr size_t kRuleAddressWidth = 50;
inline constexpr size_t kRuleDataWidth = 256;
inline constexpr size_t kProfileWidth = 50;
inline constexpr size_t kCredentialNameWidth = 50;
// The longest stored form (31 characters scrambled to 33) and its terminator.
inline constexpr size_t kCredentialPasswordWidth = 34;
inline constexpr size_t kCredentialDomainWidth = 50;
inline constexpr size_t kMasterPasswordWidth = 34;

// One access rule as stored under Security\n.
struct RuleRecord {
  int ServiceNum = 0;    // rule number 0 ("All") ... 10
  std::string ClientIP;  // address, name or "All"
  std::string HostIP;    // address, name or "All"
  std::string Data;      // ";"-separated keywords (HTTP rules), else ""
};

// The dial-on-demand settings, stored under Dialler.
struct DiallerSettings {
  int DialOnDemand = 0;
  int Retires = 0;  // the stored name of the redial count
  int AutoDisconnect = 0;
  int Minutes = 0;
  std::string Name;      // credentials of the profile in use
  std::string Password;  // scrambled form
  std::string Domain;
  std::string Profile;
};

// Reads TotalSecurity = n, writes the rule as subkey n, sets TotalSecurity to n + 1.
int AppendRule(const RuleRecord& rule);
// Writes the rule into the existing subkey n; -1 when it is missing.
int SaveRule(const RuleRecord& rule, int n);
int LoadRule(RuleRecord* rule, int n);

// The four numbers and the Profile; the credentials come from LoadProfileCredentials.
int LoadDiallerSettings(DiallerSettings* settings);
int SaveDiallerSettings(const DiallerSettings& settings);
int SaveProfileCredentials(const std::string& profile, const std::string& name,
                           const std::string& password, const std::string& domain);
// -1 as soon as one of the three values is missing.
int LoadProfileCredentials(const std::string& profile, std::string* name, std::string* password,
                           std::string* domain);

// Presets *text to ""; -1 when the key or value is missing.
int ReadMasterPassword(std::string* text);
// Writes the stored form, creating the License key when needed (a fresh store has none).
int WriteMasterPassword(const std::string& text);

}  // namespace engine
