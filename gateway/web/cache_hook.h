// The web cache's part in a WWW relay (engine::CacheHook): response bytes are looked at
// until the header block is complete, then stored, passed on, or answered from the cache.
// One process-wide object without state of its own; every call runs on the session's own
// thread and works on that session's CacheFields and its thread's CacheSession.
#pragma once

#include <cstddef>

#include "gateway/engine/relay_openings.h"

namespace web {

class WebCacheHook : public engine::CacheHook {
 public:
  int CacheResponseChunk(engine::FmCsHttpService& session, const char* data, size_t n) override;
  void DiscardCacheFile(engine::FmCsHttpService& session) override;
  void CloseCacheFile(engine::FmCsHttpService& session) override;
  void ResponseEnded(engine::FmCsHttpService& session) override;
};

// Installs the process-wide hook with the engine (start-up, before the listeners).
void InstallCacheHook();

}  // namespace web
