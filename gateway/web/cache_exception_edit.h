// The Cache page's exception list without the widgets: the checks of the "Cache Exception"
// dialog, the two-character map value and its row texts, and New / Modify / Delete applied to
// CacheExceptions and to the subkeys of the Cache key. Console thread only (the map itself is
// thread-safe; sessions see a change at their next request).
#pragma once

#include <string>

#include "gateway/web/cache_settings.h"

namespace web {

inline constexpr int kMaxExceptionCount = 254;
inline constexpr int kMaxExceptionHostLength = 128;
inline constexpr char kE10036[] = "E-10036: Please specify a URL for this exception.";

// The dialog's values as typed: host text, count and unit.
struct ExceptionForm {
  std::string host;
  std::string count;
  int unit = kTtlDays;
};

// The dialog's OK: a count outside 0..254, a host text longer than 128 characters or an empty
// host text is reported to the administrator (-1: the dialog stays open). 0 with *count.
int CheckExceptionForm(const ExceptionForm& form, int* count);

// The map value: count plus 1, then the unit code (1 Hours, 2 Days, 3 Weeks).
[[nodiscard]] std::string ExceptionValue(int count, int unit);
// A row's count (first character, unsigned, minus 1) and unit of a map value.
[[nodiscard]] int ExceptionCount(const std::string& value);
[[nodiscard]] int ExceptionUnit(const std::string& value);

// Puts host's exception into CacheExceptions (replacing one of that host) and writes every
// entry of the map as a subkey of Cache ("TTLUnit", "TTL" = count plus 1). A Modify that
// renamed the host passes the old host text: its entry and subkey go, so the map holds what
// the list shows. 0, or -1 when the Cache key cannot be created.
int PutCacheException(const std::string& host, int count, int unit,
                      const std::string& old_host = {});
// Removes host's entry from the map and its subkey from the store. 0, or -1 when neither held it.
int DeleteCacheException(const std::string& host);

}  // namespace web
