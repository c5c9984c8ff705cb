// Configuration and Service subkeys of the product key, and the default configuration.
#include "gateway/engine/config_store.h"

#include <array>

#include "gateway/engine/client_filter.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/store_access.h"

namespace engine {
namespace {

using platform::RegKey;

int ReadConfigurationValue(const char* name, int* out) {
  return ReadDwordAt(kKeyConfiguration, "", name, out);
}

int WriteConfigurationValue(const char* name, int n) {
  return WriteDwordAt(kKeyConfiguration, "", name, n, /*create=*/false);
}

bool IsDns(const std::string& type) { return type == kDnsServiceType; }

// Values every kind but DNS carries.
void WriteTimeoutValues(const RegKey& key, const ServiceEntry& e) {
  SetDword(key, "TimeOut", e.TimeOut);
  SetDword(key, "TimeoutAfter", e.TimeoutAfter);
  SetDword(key, "ListenCapacity", e.ListenCapacity);
}

void WriteTargetValues(const RegKey& key, const ServiceEntry& e) {
  SetString(key, "DefaultHost", e.DefaultHost);
  SetDword(key, "DefaultHostPortNum", e.DefaultHostPortNum);
  SetDword(key, "ProtocolType", e.ProtocolType);
}

struct DefaultService {
  const char* type;
  int port;
  int active;
};

constexpr std::array<DefaultService, 10> kDefaultServices = {{{"WWW", 80, 1},
                                                              {"Telnet", 23, 1},
                                                              {"FTP", 21, 1},
                                                              {"Socks", 1080, 1},
                                                              {"POP3", 110, 1},
                                                              {"RealAudio", 1090, 1},
                                                              {"SMTP", 25, 0},
                                                              {"News", 119, 0},
                                                              {"IRC", 6667, 0},
                                                              {"DNS", 53, 1}}};

int WriteDefaultService(int n, const DefaultService& d) {
  RegKey key;
  if (OpenNumbered(kKeyService, n, /*create=*/true, &key) != 0) return -1;
  SetString(key, "ServiceType", d.type);
  SetDword(key, "IsActive", d.active);
  SetDword(key, "PortNum", d.port);
  if (IsDns(d.type)) {
    SetDword(key, "UseDialler", 1);
    return 0;
  }
  SetDword(key, "TimeOut", 0);
  SetDword(key, "TimeoutAfter", 180);
  SetDword(key, "ListenCapacity", 10);
  if (IsMappedKind(d.type)) {
    SetString(key, "DefaultHost", "");
    SetDword(key, "DefaultHostPortNum", d.port);
    SetDword(key, "ProtocolType", 0);
  }
  return 0;
}

}  // namespace

std::string ProductKeyPath() {
  return "Software\\Wayfarer Computer Products Ltd.\\Wayfarer\\2.0\\";
}

int BuildKeyPath(int selector, std::string* path) {
  static constexpr std::array<const char*, 7> kSubkeys = {
      "Configuration", "Service", "Security", "Dialler", "License", nullptr, "Cache"};
  if (selector < 0 || selector >= static_cast<int>(kSubkeys.size()) || !kSubkeys[selector]) {
    return -1;
  }
  *path = ProductKeyPath() + kSubkeys[static_cast<size_t>(selector)];
  return 0;
}

int ReadTotalServices(int* out) { return ReadConfigurationValue("TotalServices", out); }
int WriteTotalServices(int n) { return WriteConfigurationValue("TotalServices", n); }
int ReadTotalSecurity(int* out) { return ReadConfigurationValue("TotalSecurity", out); }
int WriteTotalSecurity(int n) { return WriteConfigurationValue("TotalSecurity", n); }
int ReadCurrentTab(int* out) { return ReadConfigurationValue("CurrentTab", out); }
int WriteCurrentTab(int n) { return WriteConfigurationValue("CurrentTab", n); }

int LoadServiceEntry(int n, ServiceEntry* e) {
  RegKey key;
  if (OpenNumbered(kKeyService, n, /*create=*/false, &key) != 0) return -1;
  e->MappingName.clear();
  GetDword(key, "PortNum", &e->PortNum);
  GetString(key, "ServiceType", kServiceTypeWidth, &e->ServiceType);
  GetDword(key, "IsActive", &e->IsActive);
  GetDword(key, "TimeOut", &e->TimeOut);
  GetDword(key, "TimeoutAfter", &e->TimeoutAfter);
  GetDword(key, "ListenCapacity", &e->ListenCapacity);
  if (IsDns(e->ServiceType)) {
    GetDword(key, "UseDialler", &e->UseDialler);
    int use_cache = UseDnsCache();
    GetDword(key, "UseDnsCache", &use_cache);
    SetUseDnsCache(use_cache);
  }
  if (IsMappedKind(e->ServiceType)) {
    GetString(key, "DefaultHost", kDefaultHostWidth, &e->DefaultHost);
    GetDword(key, "ProtocolType", &e->ProtocolType);
    GetDword(key, "DefaultHostPortNum", &e->DefaultHostPortNum);
  }
  if (IsMappedLinkType(e->ServiceType)) {
    GetString(key, "MappingName", kMappingNameWidth, &e->MappingName);
  }
  if (e->MappingName.empty()) e->MappingName = e->ServiceType;
  return 0;
}

int SaveServiceEntry(const ServiceEntry& e) {
  platform::StoreTransaction whole_entry;  // a kill never leaves half an entry
  RegKey key;
  if (OpenNumbered(kKeyService, e.index, /*create=*/false, &key) != 0) return -1;
  SetDword(key, "IsActive", e.IsActive);
  SetDword(key, "PortNum", e.PortNum);
  if (IsDns(e.ServiceType)) {
    SetDword(key, "UseDialler", e.UseDialler);
    SetDword(key, "UseDnsCache", UseDnsCache());
  } else {
    WriteTimeoutValues(key, e);
    if (IsMappedKind(e.ServiceType)) {
      SetString(key, "ServiceType", e.ServiceType);
      WriteTargetValues(key, e);
    }
    if (IsMappedLinkType(e.ServiceType)) SetString(key, "MappingName", e.MappingName);
  }
  return whole_entry.Commit() ? 0 : -1;
}

int CreateServiceEntry(int n, const ServiceEntry& e) {
  platform::StoreTransaction whole_entry;  // the entry and the total count change together
  RegKey key;
  if (OpenNumbered(kKeyService, n, /*create=*/true, &key) != 0) return -1;
  SetString(key, "ServiceType", e.ServiceType);
  SetDword(key, "IsActive", e.IsActive);
  SetDword(key, "PortNum", e.PortNum);
  WriteTimeoutValues(key, e);
  WriteTargetValues(key, e);
  WriteTotalServices(n + 1);
  if (IsMappedLinkType(e.ServiceType)) SetString(key, "MappingName", e.MappingName);
  return whole_entry.Commit() ? 0 : -1;
}

int WriteDefaultConfiguration() {
  RegKey key;
  if (OpenSubkey(kKeyConfiguration, "", /*create=*/false, &key) == 0) return 0;
  if (OpenSubkey(kKeyConfiguration, "", /*create=*/true, &key) != 0) return -1;
  SetDword(key, "CurrentTab", 0);
  SetDword(key, "TotalServices", static_cast<int>(kDefaultServices.size()));
  SetDword(key, "TotalSecurity", 0);
  SetString(key, kAllowedClientsValue, kAllowedClientsDefault);
  for (size_t i = 0; i < kDefaultServices.size(); ++i) {
    if (WriteDefaultService(static_cast<int>(i), kDefaultServices[i]) != 0) return -1;
  }
  RegKey dialler;
  if (OpenSubkey(kKeyDialler, "", /*create=*/true, &dialler) != 0) return -1;
  for (const char* name : {"DialOnDemand", "Retires", "AutoDisconnect", "Minutes"}) {
    SetDword(dialler, name, 0);
  }
  SetString(dialler, "Profile", "");
  return 0;
}

}  // namespace engine
