// The web cache's decision on a request, taken by the opening before anything is sent to the
// origin server. Runs on the WWW session's own thread and touches only that session's
// cache fields.
#pragma once

#include <string>

#include "gateway/engine/relay_session.h"
#include "platform/socket.h"

namespace web {

// Decides whether the cache serves, revalidates or stores this request and sets
// cache->state. 0: the client has been answered from the cache and the session ends;
// -1: the request goes to the origin (the request text may have been replaced by the
// proxy's own conditional GET). With both EnableCache and EnableLookups off (the gateway
// has no cache store yet) the cache takes no part: the state is PassThrough.
[[nodiscard]] int CacheRequest(platform::Socket client, std::string* request,
                               const std::string& host_text, engine::CacheFields* cache);

}  // namespace web
