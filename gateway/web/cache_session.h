// What the web cache keeps for the one WWW session its thread runs, beyond the session's
// CacheFields: the time to live, the file's paths, the response header bytes while the
// header block is incomplete, and the file being written. Thread-local: a thread runs one
// session at a time, and CacheRequest and CloseCacheFile reset it at the session's ends.
#pragma once

#include <cstdint>
#include <string>

#include "gateway/web/cache_store.h"

namespace web {

struct CacheSession {
  int64_t ttl = 0;
  std::string host_dir;
  std::string full_path;
  std::string head;             // response bytes until the header block is complete
  int64_t content_length = -1;  // declared body length, -1 when none
  int64_t body_stored = 0;
  CacheFileWriter writer;
};

[[nodiscard]] CacheSession& ThisThreadCacheSession();
void ResetCacheSession();

}  // namespace web
