// Small helpers over the settings store for the engine's keys: open a subkey of the product
// key, read and write single values with their stored widths. Any thread.
#pragma once

#include <string>

#include "platform/registry.h"

namespace engine {

// Opens (or, with create, creates) "<product key>\<selector's subkey>[\sub]" in
// HKEY_LOCAL_MACHINE. 0 or -1.
int OpenSubkey(int selector, const std::string& sub, bool create, platform::RegKey* key);
// The numbered subkey n ("%d") of a selector's key.
int OpenNumbered(int selector, int n, bool create, platform::RegKey* key);

// Single values; a value that fails is left alone (reads keep *out, writes are dropped).
bool GetDword(const platform::RegKey& key, const char* name, int* out);
bool GetString(const platform::RegKey& key, const char* name, size_t width, std::string* out);
bool SetDword(const platform::RegKey& key, const char* name, int value);
bool SetString(const platform::RegKey& key, const char* name, const std::string& text);

// Numbered subkeys any stored count may stand for.
inline constexpr int kMaxStoredCount = 10000;

// A stored count of numbered subkeys (TotalServices, TotalSecurity) bounded by what the store
// really holds: never more than the highest numbered subkey present under the selector's key
// plus one, never more than kMaxStoredCount, never below 0. The first time a count of a
// selector has to be lowered in this process, the administrator is told once.
[[nodiscard]] int BoundedCount(int selector, const char* value_name, int stored);

// One REG_DWORD in a selector's key (or its subkey sub). 0 or -1.
int ReadDwordAt(int selector, const std::string& sub, const char* name, int* out);
int WriteDwordAt(int selector, const std::string& sub, const char* name, int value, bool create);

}  // namespace engine
