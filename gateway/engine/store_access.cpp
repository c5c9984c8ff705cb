// Opening the engine's keys and moving single values in and out of them.
#include "gateway/engine/store_access.h"

#include <atomic>
#include <charconv>

#include "gateway/engine/config_store.h"
#include "platform/admin_message.h"

namespace engine {

using platform::Hive;
using platform::RegKey;

int OpenSubkey(int selector, const std::string& sub, bool create, RegKey* key) {
  std::string path;
  if (BuildKeyPath(selector, &path) != 0) return -1;
  if (!sub.empty()) path += "\\" + sub;
  long rc = create ? platform::RegCreateKey(Hive::kLocalMachine, path, key)
                   : platform::RegOpenKey(Hive::kLocalMachine, path, key);
  return rc == platform::kErrorSuccess ? 0 : -1;
}

int OpenNumbered(int selector, int n, bool create, RegKey* key) {
  return OpenSubkey(selector, std::to_string(n), create, key);
}

bool GetDword(const RegKey& key, const char* name, int* out) {
  uint32_t v = 0;
  if (platform::RegQueryDword(key, name, &v) != platform::kErrorSuccess) return false;
  *out = static_cast<int>(v);
  return true;
}

bool GetString(const RegKey& key, const char* name, size_t width, std::string* out) {
  std::string v;
  if (platform::RegQueryString(key, name, &v, width) != platform::kErrorSuccess) return false;
  *out = v;
  return true;
}

bool SetDword(const RegKey& key, const char* name, int value) {
  return platform::RegSetDword(key, name, static_cast<uint32_t>(value)) == platform::kErrorSuccess;
}

bool SetString(const RegKey& key, const char* name, const std::string& text) {
  return platform::RegSetString(key, name, text) == platform::kErrorSuccess;
}

namespace {

// Highest numbered subkey ("0" ... kMaxStoredCount-1) under the selector's key plus one; 0
// when there is none. Names that are not plain decimal numbers are ignored.
int NumberedSubkeysPresent(int selector) {
  RegKey key;
  uint32_t subkeys = 0;
  uint32_t values = 0;
  if (OpenSubkey(selector, "", false, &key) != 0 ||
      platform::RegQueryInfoKey(key, &subkeys, &values) != platform::kErrorSuccess) {
    return 0;
  }
  int present = 0;
  std::string name;
  for (uint32_t i = 0; i < subkeys && i < 4u * kMaxStoredCount; ++i) {
    if (platform::RegEnumKey(key, i, &name) != platform::kErrorSuccess) break;
    int n = -1;
    auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), n);
    if (ec != std::errc() || end != name.data() + name.size() ||
        (name.size() > 1 && name[0] == '0')) {
      continue;
    }
    if (n >= 0 && n < kMaxStoredCount && n + 1 > present) present = n + 1;
  }
  return present;
}

std::atomic<uint32_t> g_reported_counts{0};  // one bit per selector already reported

}  // namespace

int BoundedCount(int selector, const char* value_name, int stored) {
  if (stored <= 0) return 0;
  const int present = NumberedSubkeysPresent(selector);
  if (stored <= present) return stored;
  const uint32_t bit = 1u << (selector & 31);
  if ((g_reported_counts.fetch_or(bit) & bit) == 0) {
    platform::ShowAdminMessage("Wayfarer",
                               std::string("The settings store gives ") + value_name + " as " +
                                   std::to_string(stored) + ", but holds only " +
                                   std::to_string(present) + " numbered entries; " +
                                   std::to_string(present) + " are used.",
                               platform::MessageIcon::kExclamation);
  }
  return present;
}

int ReadDwordAt(int selector, const std::string& sub, const char* name, int* out) {
  RegKey key;
  if (OpenSubkey(selector, sub, false, &key) != 0) return -1;
  GetDword(key, name, out);
  return 0;
}

int WriteDwordAt(int selector, const std::string& sub, const char* name, int value, bool create) {
  RegKey key;
  if (OpenSubkey(selector, sub, create, &key) != 0) return -1;
  SetDword(key, name, value);
  return 0;
}

}  // namespace engine
