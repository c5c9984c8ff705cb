// The web cache's process-wide settings (CacheSettings) and per-host time-to-live exceptions
// (CacheExceptions), loaded from the store's Cache key at start-up and replaced whole by the
// Cache page. Thread-safe: the record and the map are guarded by one lock; readers take a
// copy. PurgeRunning is a plain atomic flag of its own.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace web {

inline constexpr int kTtlHours = 1;
inline constexpr int kTtlDays = 2;
inline constexpr int kTtlWeeks = 3;
// Minutes to the next purge right after loading.
inline constexpr int kFirstPurgeIntervalMinutes = 10;
// The longest cache location taken from the store (its read width is 260 bytes).
inline constexpr size_t kCacheLocationWidth = 260;

struct CacheSettings {
  bool enable_cache = false;    // EnableCache: store cacheable responses
  bool enable_lookups = false;  // EnableLookups: answer clients from the cache
  uint32_t max_cache_size = 0;  // MaxCacheSize, bytes
  int ttl_unit = 0;             // TTLUnit: kTtlHours, kTtlDays, kTtlWeeks
  int ttl = 0;                  // TTL, a count of ttl_unit
  int purge_interval_minutes = kFirstPurgeIntervalMinutes;
  // CacheLocation; ends with "/" when set, because cache names are appended directly.
  std::string cache_location;
};

// Host text (exactly as in request URLs, case-sensitive) to a two-character value:
// the count plus 1 as an unsigned character, then the unit.
using CacheExceptions = std::map<std::string, std::string>;

// Reads the Cache key. Missing key or values leave their fields at 0 / empty, so the cache
// stays off until the administrator has saved valid values. 0, or -1 when no key exists.
int LoadCacheSettings();

[[nodiscard]] CacheSettings CurrentCacheSettings();
[[nodiscard]] CacheExceptions CurrentCacheExceptions();
// Replaces the in-memory settings (the Cache page, tests). The location gains a final "/".
void SetCacheSettings(const CacheSettings& settings);
void SetCacheExceptions(const CacheExceptions& exceptions);
void SetPurgeIntervalMinutes(int minutes);

[[nodiscard]] bool PurgeRunning();
void SetPurgeRunning(bool running);

// The location as it is used: "" stays "", anything else ends with exactly one "/".
[[nodiscard]] std::string NormalizeCacheLocation(const std::string& location);

}  // namespace web
