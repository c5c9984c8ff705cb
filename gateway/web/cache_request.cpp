// CacheRequest: the web cache's rules on a request (cache_lookup.cpp) decide the state.
#include "gateway/web/cache_request.h"

#include "gateway/web/cache_lookup.h"

namespace web {

int CacheRequest(platform::Socket client, std::string* request, const std::string& host_text,
                 engine::CacheFields* cache) {
  return LookUpRequest(client, request, host_text, cache);
}

}  // namespace web
