// WireWebCache.
#include "gateway/web/web_cache.h"

#include "gateway/web/cache_hook.h"
#include "gateway/web/cache_settings.h"
#include "gateway/web/purge_now_job.h"
#include "gateway/web/purge_thread.h"

namespace web {

void WireWebCache(engine::StartupHooks* hooks) {
  InstallCacheHook();
  hooks->load_cache_settings = [] { [[maybe_unused]] int rc = LoadCacheSettings(); };
  hooks->start_purge_thread = [] { StartPurgeThread(); };
  // The purge thread ends before the other subsystems are torn down.
  auto previous = hooks->teardown;
  hooks->teardown = [previous] {
    StopPurgeThread();
    WaitForPurgeNow();
    if (previous) previous();
  };
}

}  // namespace web
