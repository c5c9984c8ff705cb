// Opening the engine's keys and moving single values in and out of them.
#include "gateway/engine/store_access.h"

#include "gateway/engine/config_store.h"

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
