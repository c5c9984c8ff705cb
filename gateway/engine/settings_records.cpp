// Security rules, dialler settings and credentials, and the master password in the store.
#include "gateway/engine/settings_records.h"

#include "gateway/engine/config_store.h"
#include "gateway/engine/store_access.h"

namespace engine {
namespace {

using platform::RegKey;

void WriteRuleValues(const RegKey& key, const RuleRecord& rule) {
  SetDword(key, "ServiceNum", rule.ServiceNum);
  SetString(key, "ClientIP", rule.ClientIP);
  SetString(key, "HostIP", rule.HostIP);
  SetString(key, "Data", rule.Data);
}

}  // namespace

int AppendRule(const RuleRecord& rule) {
  platform::StoreTransaction whole_rule;  // the rule and the total count change together
  int n = 0;
  ReadTotalSecurity(&n);
  RegKey key;
  if (OpenNumbered(kKeySecurity, n, /*create=*/true, &key) != 0) return -1;
  WriteRuleValues(key, rule);
  if (WriteTotalSecurity(n + 1) != 0) return -1;
  return whole_rule.Commit() ? 0 : -1;
}

int SaveRule(const RuleRecord& rule, int n) {
  platform::StoreTransaction whole_rule;
  RegKey key;
  if (OpenNumbered(kKeySecurity, n, /*create=*/false, &key) != 0) return -1;
  WriteRuleValues(key, rule);
  return whole_rule.Commit() ? 0 : -1;
}

int LoadRule(RuleRecord* rule, int n) {
  RegKey key;
  if (OpenNumbered(kKeySecurity, n, /*create=*/false, &key) != 0) return -1;
  GetDword(key, "ServiceNum", &rule->ServiceNum);
  GetString(key, "ClientIP", kRuleAddressWidth, &rule->ClientIP);
  GetString(key, "HostIP", kRuleAddressWidth, &rule->HostIP);
  GetString(key, "Data", kRuleDataWidth, &rule->Data);
  return 0;
}

int LoadDiallerSettings(DiallerSettings* s) {
  RegKey key;
  if (OpenSubkey(kKeyDialler, "", /*create=*/false, &key) != 0) return -1;
  GetDword(key, "DialOnDemand", &s->DialOnDemand);
  GetDword(key, "Retires", &s->Retires);
  GetDword(key, "AutoDisconnect", &s->AutoDisconnect);
  GetDword(key, "Minutes", &s->Minutes);
  GetString(key, "Profile", kProfileWidth, &s->Profile);
  return 0;
}

int SaveDiallerSettings(const DiallerSettings& s) {
  RegKey key;
  if (OpenSubkey(kKeyDialler, "", /*create=*/true, &key) != 0) return -1;
  SetDword(key, "DialOnDemand", s.DialOnDemand);
  SetDword(key, "Retires", s.Retires);
  SetDword(key, "AutoDisconnect", s.AutoDisconnect);
  SetDword(key, "Minutes", s.Minutes);
  SetString(key, "Profile", s.Profile);
  return 0;
}

int SaveProfileCredentials(const std::string& profile, const std::string& name,
                           const std::string& password, const std::string& domain) {
  RegKey key;
  if (profile.empty() || OpenSubkey(kKeyDialler, profile, /*create=*/true, &key) != 0) return -1;
  SetString(key, "Name", name);
  SetString(key, "Password", password);
  SetString(key, "Domain", domain);
  return 0;
}

int LoadProfileCredentials(const std::string& profile, std::string* name, std::string* password,
                           std::string* domain) {
  RegKey key;
  if (profile.empty() || OpenSubkey(kKeyDialler, profile, /*create=*/false, &key) != 0) return -1;
  if (!GetString(key, "Name", kCredentialNameWidth, name)) return -1;
  if (!GetString(key, "Password", kCredentialPasswordWidth, password)) return -1;
  if (!GetString(key, "Domain", kCredentialDomainWidth, domain)) return -1;
  return 0;
}

int ReadMasterPassword(std::string* text) {
  text->clear();
  RegKey key;
  if (OpenSubkey(kKeyLicense, "", /*create=*/false, &key) != 0) return -1;
  return GetString(key, "MasterPassword", kMasterPasswordWidth, text) ? 0 : -1;
}

int WriteMasterPassword(const std::string& text) {
  RegKey key;
  if (OpenSubkey(kKeyLicense, "", /*create=*/true, &key) != 0) return -1;
  return SetString(key, "MasterPassword", text) ? 0 : -1;
}

}  // namespace engine
