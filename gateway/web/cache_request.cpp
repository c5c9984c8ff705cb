// CacheRequest while the gateway has no cache store: every request passes through, so the
// relay sends response bytes as they arrive.
#include "gateway/web/cache_request.h"

namespace web {

int CacheRequest(platform::Socket, std::string*, const std::string&, engine::CacheFields* cache) {
  cache->state = engine::kCachePassThrough;
  return -1;
}

}  // namespace web
