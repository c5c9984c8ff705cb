// The cache directory as the default cache location.
#include "gateway/service_directories.h"

#include <cstdlib>

#include "gateway/engine/config_store.h"
#include "gateway/engine/store_access.h"
#include "platform/registry.h"

namespace gateway {

std::string AdoptCacheDirectory() {
  const char* given = std::getenv("CACHE_DIRECTORY");
  if (given == nullptr || given[0] == '\0') return "";
  // The manager may list several directories separated by ':'; the cache takes the first.
  std::string directory = given;
  directory = directory.substr(0, directory.find(':'));
  platform::RegKey key;
  if (engine::OpenSubkey(engine::kKeyCache, "", /*create=*/true, &key) != 0) return "";
  std::string stored;
  std::string adopted;
  if (!engine::GetString(key, "CacheLocation", 260, &stored) || stored.empty()) {
    if (engine::SetString(key, "CacheLocation", directory)) adopted = directory;
  }
  platform::RegCloseKey(key);
  return adopted;
}

}  // namespace gateway
