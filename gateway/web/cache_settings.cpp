// Loading and holding CacheSettings and CacheExceptions.
#include "gateway/web/cache_settings.h"

#include <atomic>
#include <mutex>

#include "gateway/engine/config_store.h"
#include "gateway/engine/store_access.h"
#include "platform/registry.h"

namespace web {
namespace {

std::mutex g_lock;
CacheSettings g_settings;      // guarded by g_lock
CacheExceptions g_exceptions;  // guarded by g_lock
std::atomic<bool> g_purge_running{false};

// One exception subkey: "TTLUnit" and "TTL" (count plus 1; its low 8 bits count).
void LoadException(const platform::RegKey& cache_key, const std::string& host,
                   CacheExceptions* out) {
  platform::RegKey key;
  if (platform::RegOpenKey(cache_key, host, &key) != platform::kErrorSuccess) return;
  int unit = 0;
  int stored = 0;
  engine::GetDword(key, "TTLUnit", &unit);
  engine::GetDword(key, "TTL", &stored);
  std::string value;
  value.push_back(static_cast<char>(static_cast<unsigned char>(stored & 0xFF)));
  value.push_back(static_cast<char>(static_cast<unsigned char>(unit & 0xFF)));
  (*out)[host] = value;
  platform::RegCloseKey(key);
}

}  // namespace

std::string NormalizeCacheLocation(const std::string& location) {
  if (location.empty()) return location;
  std::string out = location;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  if (out != "/") out.push_back('/');
  return out;
}

int LoadCacheSettings() {
  CacheSettings settings;
  CacheExceptions exceptions;
  platform::RegKey key;
  int rc = engine::OpenSubkey(engine::kKeyCache, "", false, &key);
  if (rc == 0) {
    int enable_cache = 0;
    int enable_lookups = 0;
    int max_size = 0;
    engine::GetDword(key, "EnableCache", &enable_cache);
    engine::GetDword(key, "EnableLookups", &enable_lookups);
    engine::GetDword(key, "MaxCacheSize", &max_size);
    engine::GetDword(key, "TTLUnit", &settings.ttl_unit);
    engine::GetDword(key, "TTL", &settings.ttl);
    engine::GetString(key, "CacheLocation", kCacheLocationWidth, &settings.cache_location);
    settings.enable_cache = enable_cache != 0;
    settings.enable_lookups = enable_lookups != 0;
    settings.max_cache_size = static_cast<uint32_t>(max_size);
    std::string host;
    for (uint32_t i = 0; platform::RegEnumKey(key, i, &host) == platform::kErrorSuccess; ++i) {
      LoadException(key, host, &exceptions);
    }
    platform::RegCloseKey(key);
  }
  SetCacheSettings(settings);
  SetCacheExceptions(exceptions);
  return rc == 0 ? 0 : -1;
}

CacheSettings CurrentCacheSettings() {
  std::lock_guard lock(g_lock);
  return g_settings;
}

CacheExceptions CurrentCacheExceptions() {
  std::lock_guard lock(g_lock);
  return g_exceptions;
}

void SetCacheSettings(const CacheSettings& settings) {
  std::lock_guard lock(g_lock);
  g_settings = settings;
  g_settings.cache_location = NormalizeCacheLocation(settings.cache_location);
}

void SetCacheExceptions(const CacheExceptions& exceptions) {
  std::lock_guard lock(g_lock);
  g_exceptions = exceptions;
}

void SetPurgeIntervalMinutes(int minutes) {
  std::lock_guard lock(g_lock);
  g_settings.purge_interval_minutes = minutes;
}

bool PurgeRunning() { return g_purge_running.load(); }
void SetPurgeRunning(bool running) { g_purge_running.store(running); }

}  // namespace web
