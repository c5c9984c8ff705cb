// The Cache page's save step and unit texts.
#include "gateway/web/cache_page_rules.h"

#include <cerrno>
#include <cstdlib>

#include "gateway/engine/config_store.h"
#include "gateway/engine/gateway_app.h"
#include "gateway/engine/store_access.h"
#include "platform/admin_message.h"

namespace web {
namespace {

constexpr uint32_t kMegabyte = 1u << 20;

void Report(const std::string& text, platform::MessageIcon icon) {
  platform::ShowAdminMessage(engine::kAppCaption, text, icon);
}

int Fail(CacheField which, CacheField* field, const std::string& text) {
  if (field != nullptr) *field = which;
  Report(text, platform::MessageIcon::kExclamation);
  return -1;
}

}  // namespace

std::string IntegerRangeMessage(int low, int high) {
  return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) +
         ".";
}

std::string TooLongMessage(int width) {
  return "Please enter no more than " + std::to_string(width) + " characters.";
}

int ParseIntegerInRange(const std::string& text, int low, int high, int* out) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(begin, &end, 10);
  if (end == begin || errno == ERANGE) return -1;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0' || value < low || value > high) return -1;
  *out = static_cast<int>(value);
  return 0;
}

const char* TtlUnitText(int unit) {
  if (unit == kTtlHours) return "Hours";
  if (unit == kTtlDays) return "Days";
  return "Weeks";
}

int TtlUnitOfText(const std::string& text) {
  if (text == "Hours") return kTtlHours;
  if (text == "Weeks") return kTtlWeeks;
  return kTtlDays;
}

CacheForm FormFromSettings(const CacheSettings& settings) {
  CacheForm form;
  form.enable_cache = settings.enable_cache;
  form.enable_lookups = settings.enable_lookups;
  form.max_size_mb = std::to_string(settings.max_cache_size >> 20);
  form.location = settings.cache_location;
  form.ttl = std::to_string(settings.ttl);
  form.ttl_unit = settings.ttl_unit == kTtlHours || settings.ttl_unit == kTtlDays
                      ? settings.ttl_unit
                      : kTtlWeeks;
  return form;
}

int SaveCacheForm(const CacheForm& form, CacheField* field) {
  if (field != nullptr) *field = CacheField::kNone;
  int size_mb = 0;
  int ttl = 0;
  if (ParseIntegerInRange(form.max_size_mb, kMinCacheSizeMb, kMaxCacheSizeMb, &size_mb) != 0) {
    return Fail(CacheField::kMaxSize, field, IntegerRangeMessage(kMinCacheSizeMb, kMaxCacheSizeMb));
  }
  if (form.location.size() > static_cast<size_t>(kMaxLocationLength)) {
    return Fail(CacheField::kLocation, field, TooLongMessage(kMaxLocationLength));
  }
  if (ParseIntegerInRange(form.ttl, kMinPageTtl, kMaxPageTtl, &ttl) != 0) {
    return Fail(CacheField::kTtl, field, IntegerRangeMessage(kMinPageTtl, kMaxPageTtl));
  }
  if (form.location.empty()) {
    if (field != nullptr) *field = CacheField::kLocation;
    Report(kE10035, platform::MessageIcon::kError);
    return -1;
  }
  CacheSettings settings = CurrentCacheSettings();
  settings.ttl = ttl;
  settings.enable_cache = form.enable_cache;
  settings.enable_lookups = form.enable_lookups;
  settings.max_cache_size = static_cast<uint32_t>(size_mb) * kMegabyte;
  settings.cache_location = NormalizeCacheLocation(form.location);
  settings.ttl_unit =
      form.ttl_unit == kTtlHours || form.ttl_unit == kTtlDays ? form.ttl_unit : kTtlWeeks;
  SetCacheSettings(settings);
  [[maybe_unused]] int rc = StoreCacheSettings(settings);
  return 0;
}

int StoreCacheSettings(const CacheSettings& settings) {
  platform::RegKey key;
  if (engine::OpenSubkey(engine::kKeyCache, "", /*create=*/true, &key) != 0) return -1;
  engine::SetDword(key, "TTL", settings.ttl);
  engine::SetDword(key, "EnableCache", settings.enable_cache ? 1 : 0);
  engine::SetDword(key, "EnableLookups", settings.enable_lookups ? 1 : 0);
  engine::SetDword(key, "MaxCacheSize", static_cast<int>(settings.max_cache_size));
  engine::SetString(key, "CacheLocation", settings.cache_location);
  engine::SetDword(key, "TTLUnit", settings.ttl_unit);
  platform::RegCloseKey(key);
  return 0;
}

}  // namespace web
