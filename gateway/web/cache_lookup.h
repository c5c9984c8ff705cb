// The web cache's decision on a request before anything goes to the origin server: serve
// from the cache, revalidate, fetch and store, or stay out. Runs on the WWW session's own
// thread and touches only that session's cache fields and its thread's CacheSession.
#pragma once

#include <string>

#include "gateway/engine/relay_session.h"
#include "platform/socket.h"

namespace web {

// Sets cache->state. 0: the client has been answered from the cache (or got part of a
// cached answer that then failed) and the session ends; -1: the request goes to the origin,
// possibly replaced by the proxy's own conditional GET.
[[nodiscard]] int LookUpRequest(platform::Socket client, std::string* request,
                                const std::string& host_text, engine::CacheFields* cache);

}  // namespace web
