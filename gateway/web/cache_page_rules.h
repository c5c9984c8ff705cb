// What the Cache page does with its controls, without the widgets: the save step that checks
// the typed values, writes CacheSettings and stores the six values of the Cache key, and the
// texts of the time-to-live units. Console thread only (the settings record itself is
// thread-safe; the sessions read it at their next request).
#pragma once

#include <string>

#include "gateway/web/cache_settings.h"

namespace web {

inline constexpr int kMinCacheSizeMb = 1;
inline constexpr int kMaxCacheSizeMb = 999;
inline constexpr int kMinPageTtl = 1;
inline constexpr int kMaxPageTtl = 254;
inline constexpr int kMaxLocationLength = 256;
inline constexpr char kE10035[] = "E-10035: Please specify a directory location for the Web Cache.";

// The Cache page's values as the administrator typed them.
struct CacheForm {
  bool enable_cache = false;
  bool enable_lookups = false;
  std::string max_size_mb;  // edit 1101
  std::string location;     // edit 1102
  std::string ttl;          // edit 1104
  int ttl_unit = kTtlDays;  // the checked radio button
};

// Which control a failed save step points at (the page puts the focus there).
enum class CacheField { kNone, kMaxSize, kLocation, kTtl };

// "Please enter an integer between %1 and %2." and "Please enter no more than %1 characters."
[[nodiscard]] std::string IntegerRangeMessage(int low, int high);
[[nodiscard]] std::string TooLongMessage(int width);
// A whole decimal number (optional sign, surrounding blanks) within [low, high]. 0 or -1.
[[nodiscard]] int ParseIntegerInRange(const std::string& text, int low, int high, int* out);

// "Hours", "Days" or "Weeks" for units 1, 2 and anything else.
[[nodiscard]] const char* TtlUnitText(int unit);
// The unit of such a text; any other text is Days.
[[nodiscard]] int TtlUnitOfText(const std::string& text);

// The page's controls loaded from the settings: size in megabytes (stored value >> 20).
[[nodiscard]] CacheForm FormFromSettings(const CacheSettings& settings);

// The save step. A value out of range or too long, or an empty location, is reported to the
// administrator and nothing changes (-1, *field says which control). Otherwise the location
// gains its final "/", CacheSettings is replaced (the purge interval kept) and the six values
// are stored under Cache (a store failure is not reported). 0.
int SaveCacheForm(const CacheForm& form, CacheField* field = nullptr);

// The six values of the Cache key (creating the key). 0, or -1 when it cannot be created.
int StoreCacheSettings(const CacheSettings& settings);

}  // namespace web
