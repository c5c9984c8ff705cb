// The thread-local cache session.
#include "gateway/web/cache_session.h"

#include <memory>

namespace web {
namespace {

thread_local std::unique_ptr<CacheSession> t_session;

}  // namespace

CacheSession& ThisThreadCacheSession() {
  if (!t_session) t_session = std::make_unique<CacheSession>();
  return *t_session;
}

// Dropping the object discards a file still being written.
void ResetCacheSession() { t_session.reset(); }

}  // namespace web
