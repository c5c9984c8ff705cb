// The exception dialog's checks and the exception list's writes.
#include "gateway/web/cache_exception_edit.h"

#include "gateway/engine/config_store.h"
#include "gateway/engine/gateway_app.h"
#include "gateway/engine/store_access.h"
#include "gateway/web/cache_page_rules.h"
#include "platform/admin_message.h"

namespace web {
namespace {

int StoreExceptions(const CacheExceptions& exceptions) {
  platform::RegKey cache;
  if (engine::OpenSubkey(engine::kKeyCache, "", /*create=*/true, &cache) != 0) return -1;
  for (const auto& [host, value] : exceptions) {
    platform::RegKey key;
    if (platform::RegCreateKey(cache, host, &key) != platform::kErrorSuccess) continue;
    engine::SetDword(key, "TTLUnit", ExceptionUnit(value));
    engine::SetDword(key, "TTL", ExceptionCount(value) + 1);
    platform::RegCloseKey(key);
  }
  platform::RegCloseKey(cache);
  return 0;
}

}  // namespace

int CheckExceptionForm(const ExceptionForm& form, int* count) {
  if (form.host.size() > static_cast<size_t>(kMaxExceptionHostLength)) {
    platform::ShowAdminMessage(engine::kAppCaption, TooLongMessage(kMaxExceptionHostLength),
                               platform::MessageIcon::kExclamation);
    return -1;
  }
  if (ParseIntegerInRange(form.count, 0, kMaxExceptionCount, count) != 0) {
    platform::ShowAdminMessage(engine::kAppCaption, IntegerRangeMessage(0, kMaxExceptionCount),
                               platform::MessageIcon::kExclamation);
    return -1;
  }
  if (form.host.empty()) {
    platform::ShowAdminMessage(engine::kAppCaption, kE10036, platform::MessageIcon::kError);
    return -1;
  }
  return 0;
}

std::string ExceptionValue(int count, int unit) {
  const int code = unit == kTtlHours || unit == kTtlDays ? unit : kTtlWeeks;
  std::string value;
  value.push_back(static_cast<char>(static_cast<unsigned char>(count + 1)));
  value.push_back(static_cast<char>(code));
  return value;
}

int ExceptionCount(const std::string& value) {
  return value.empty() ? -1 : static_cast<unsigned char>(value[0]) - 1;
}

int ExceptionUnit(const std::string& value) {
  return value.size() < 2 ? 0 : static_cast<unsigned char>(value[1]);
}

int PutCacheException(const std::string& host, int count, int unit, const std::string& old_host) {
  if (!old_host.empty() && old_host != host) (void)DeleteCacheException(old_host);
  CacheExceptions exceptions = CurrentCacheExceptions();
  exceptions[host] = ExceptionValue(count, unit);
  SetCacheExceptions(exceptions);
  return StoreExceptions(exceptions);
}

int DeleteCacheException(const std::string& host) {
  CacheExceptions exceptions = CurrentCacheExceptions();
  const bool in_map = exceptions.erase(host) != 0;
  SetCacheExceptions(exceptions);
  bool in_store = false;
  platform::RegKey cache;
  if (engine::OpenSubkey(engine::kKeyCache, "", /*create=*/false, &cache) == 0) {
    in_store = platform::RegDeleteKey(cache, host) == platform::kErrorSuccess;
    platform::RegCloseKey(cache);
  }
  return in_map || in_store ? 0 : -1;
}

}  // namespace web
