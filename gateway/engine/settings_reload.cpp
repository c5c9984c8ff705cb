// Reading the store again and applying the differences to the listeners, the list and the
// rules.
#include "gateway/engine/settings_reload.h"

#include <memory>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/client_filter.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/listeners.h"
#include "gateway/engine/rule_list.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/session_registry.h"
#include "gateway/engine/settings_records.h"

namespace engine {
namespace {

// What pairs a listed entry with a stored one; entries with equal keys pair in order.
std::string PairingKey(const ServiceEntry& e) {
  if (!IsMappedLinkType(e.ServiceType)) return "kind:" + e.ServiceType;
  if (!e.MappingName.empty() && e.MappingName != e.ServiceType) return "name:" + e.MappingName;
  return "target:" + e.ServiceType + "|" + e.DefaultHost + "|" +
         std::to_string(e.DefaultHostPortNum) + "|" + std::to_string(e.PortNum);
}

std::vector<ServiceEntry> StoredServices() {
  std::vector<ServiceEntry> stored;
  int total = 0;
  ReadTotalServices(&total);
  for (int i = 0; i < total; ++i) {
    ServiceEntry e;
    LoadServiceEntry(i, &e);
    e.index = i;
    stored.push_back(e);
  }
  return stored;
}

void ApplyDnsChange(const ServiceEntry& listed, ServiceEntry e) {
  // The DNS socket always takes port 53, where resolvers ask.
  e.PortNum = kDnsPort;
  SetDnsSettings(e.IsActive, e.UseDialler);
  if (e.IsActive != listed.IsActive && ReopenDnsSocket() != 0 && e.IsActive) {
    e.IsActive = 0;
    SetDnsSettings(0, e.UseDialler);
  }
  (void)Services().Update(listed.PortNum, listed.ServiceType, e);
}

void ApplyChange(const ServiceEntry& listed, ServiceEntry e) {
  if (listed.ServiceType == kDnsServiceType) return ApplyDnsChange(listed, e);
  // A port that cannot be taken has been reported; the service is kept, inactive.
  (void)ApplyServiceChange(listed.PortNum, listed.ServiceType, &e);
  if (Services().Update(listed.PortNum, listed.ServiceType, e) == 0) SelectListener(e);
}

void ApplyAddition(ServiceEntry e) {
  (void)OpenListener(&e);
  Services().Append(std::make_unique<ServiceEntry>(e));
  SelectListener(e);
}

void ReloadServices(ReloadCounts* counts) {
  const std::vector<ServiceEntry> listed = Services().Snapshot();
  const std::vector<ServiceEntry> stored = StoredServices();
  const std::vector<ServicePairing> pairs = PairServices(listed, stored);
  // Deleted first, so their ports are free for what the store holds now.
  for (const ServicePairing& p : pairs) {
    if (p.stored >= 0 || !IsMappedLinkType(listed[p.listed].ServiceType)) continue;
    if (Services().Forget(listed[p.listed].index) == 0) ++counts->services_deleted;
  }
  // Entries that stay take their subkey numbers in the store, so every later save of the
  // console goes to the right subkey.
  std::vector<int> new_index(listed.size(), -1);
  for (const ServicePairing& p : pairs) {
    if (p.listed >= 0 && p.stored >= 0) new_index[p.listed] = stored[p.stored].index;
  }
  Services().ForEach([&](ServiceEntry& e) {
    for (size_t i = 0; i < listed.size(); ++i) {
      if (listed[i].index == e.index && listed[i].PortNum == e.PortNum &&
          listed[i].ServiceType == e.ServiceType && new_index[i] >= 0) {
        e.index = new_index[i];
        return;
      }
    }
  });
  for (const ServicePairing& p : pairs) {
    if (p.listed < 0 || p.stored < 0 || !ServiceDiffers(listed[p.listed], stored[p.stored])) {
      continue;
    }
    ServiceEntry before = listed[p.listed];
    before.index = stored[p.stored].index;
    ApplyChange(before, stored[p.stored]);
    ++counts->services_changed;
  }
  for (const ServicePairing& p : pairs) {
    if (p.listed >= 0) continue;
    ApplyAddition(stored[p.stored]);
    ++counts->services_added;
  }
}

bool SameRule(const RuleRecord& a, const RuleRecord& b) {
  return a.ServiceNum == b.ServiceNum && a.ClientIP == b.ClientIP && a.HostIP == b.HostIP &&
         a.Data == b.Data;
}

bool Contains(const std::vector<RuleRecord>& rules, const RuleRecord& rule) {
  for (const RuleRecord& r : rules) {
    if (SameRule(r, rule)) return true;
  }
  return false;
}

// New rules are put in force before old ones are revoked, so no check in between runs with
// neither.
void ReloadRules(ReloadCounts* counts) {
  std::vector<RuleRecord> before;
  RuleRecord rule;
  for (size_t i = 0; TheRuleList().RuleAt(i, &rule); ++i) before.push_back(rule);
  std::vector<RuleRecord> after;
  int total = 0;
  ReadTotalSecurity(&total);
  for (int i = 0; i < total; ++i) {
    RuleRecord loaded;
    if (LoadRule(&loaded, i) != 0 || loaded.ServiceNum < 0 ||
        loaded.ServiceNum > kHighestRuleNumber) {
      break;
    }
    after.push_back(loaded);
  }
  for (const RuleRecord& r : after) {
    if (Contains(before, r)) continue;
    (void)EnforceRule(r);
    ++counts->rules_added;
  }
  for (const RuleRecord& r : before) {
    if (Contains(after, r)) continue;
    (void)RevokeRule(r);
    ++counts->rules_removed;
  }
  TheRuleList().Clear();
  for (const RuleRecord& r : after) TheRuleList().Append(r);
}

}  // namespace

std::vector<ServicePairing> PairServices(const std::vector<ServiceEntry>& listed,
                                         const std::vector<ServiceEntry>& stored) {
  std::vector<ServicePairing> pairs;
  std::vector<bool> stored_used(stored.size(), false);
  std::vector<ServicePairing> unpaired;
  for (size_t l = 0; l < listed.size(); ++l) {
    if (listed[l].ServiceType.empty()) continue;  // the empty entry of an empty store
    const std::string key = PairingKey(listed[l]);
    ServicePairing pair{static_cast<int>(l), -1};
    for (size_t s = 0; s < stored.size(); ++s) {
      if (!stored_used[s] && PairingKey(stored[s]) == key) {
        stored_used[s] = true;
        pair.stored = static_cast<int>(s);
        break;
      }
    }
    (pair.stored >= 0 ? pairs : unpaired).push_back(pair);
  }
  for (size_t s = 0; s < stored.size(); ++s) {
    if (!stored_used[s] && !stored[s].ServiceType.empty()) {
      unpaired.push_back({-1, static_cast<int>(s)});
    }
  }
  pairs.insert(pairs.end(), unpaired.begin(), unpaired.end());
  return pairs;
}

bool ServiceDiffers(const ServiceEntry& a, const ServiceEntry& b) {
  return a.IsActive != b.IsActive || a.PortNum != b.PortNum || a.TimeOut != b.TimeOut ||
         a.TimeoutAfter != b.TimeoutAfter || a.DefaultHost != b.DefaultHost ||
         a.DefaultHostPortNum != b.DefaultHostPortNum || a.ProtocolType != b.ProtocolType ||
         a.UseDialler != b.UseDialler || a.MappingName != b.MappingName ||
         a.ServiceType != b.ServiceType;
}

ReloadCounts ReloadEngineSettings() {
  ReloadCounts counts;
  ReloadServices(&counts);
  ReloadRules(&counts);
  // The place for every other Configuration value read at start-up and changed live.
  LoadAllowedClients();
  return counts;
}

void NoteSettingsReloaded() {
  if (const platform::TargetId console = ConsoleTarget(); console != 0) {
    platform::PostMessage(console, kMsgSettingsReloaded, 0, 0);
  }
}

std::string DescribeReload(const ReloadCounts& c) {
  return "services +" + std::to_string(c.services_added) + " ~" +
         std::to_string(c.services_changed) + " -" + std::to_string(c.services_deleted) +
         ", rules +" + std::to_string(c.rules_added) + " -" + std::to_string(c.rules_removed);
}

}  // namespace engine
