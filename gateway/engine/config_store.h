// The gateway's settings in the store: the product key's layout and the small read/write
// operations on Configuration and the numbered Service subkeys. Nothing is cached here; each
// call opens its key, reads or writes, and closes it. Any thread (the store is thread-safe).
#pragma once

#include <string>

#include "gateway/engine/service_entry.h"

namespace engine {

// Subkeys of the product key, by the selector BuildKeyPath takes.
inline constexpr int kKeyConfiguration = 0;
inline constexpr int kKeyService = 1;
inline constexpr int kKeySecurity = 2;
inline constexpr int kKeyDialler = 3;
inline constexpr int kKeyLicense = 4;
inline constexpr int kKeyCache = 6;

// "Software\Wayfarer Computer Products Ltd.\Wayfarer\2.0\" (in HKEY_LOCAL_MACHINE).
[[nodiscard]] std::string ProductKeyPath();
// Product key plus the selector's subkey. 0, or -1 for an unknown selector.
int BuildKeyPath(int selector, std::string* path);

int ReadTotalServices(int* out);
int WriteTotalServices(int n);
int ReadTotalSecurity(int* out);
int WriteTotalSecurity(int n);
int ReadCurrentTab(int* out);
int WriteCurrentTab(int n);

// Loads subkey n of Service into entry (values missing keep the entry's fields).
int LoadServiceEntry(int n, ServiceEntry* entry);
// Writes the entry into its existing subkey (entry.index); -1 when that subkey is missing.
int SaveServiceEntry(const ServiceEntry& entry);
// Creates subkey n with the entry's values and sets TotalServices to n + 1.
int CreateServiceEntry(int n, const ServiceEntry& entry);
// Writes the default configuration unless Configuration exists already.
int WriteDefaultConfiguration();

}  // namespace engine
