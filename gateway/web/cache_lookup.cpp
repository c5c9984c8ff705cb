// LookUpRequest: the request rules of the web cache, first deciding rule wins.
#include "gateway/web/cache_lookup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "gateway/web/cache_names.h"
#include "gateway/web/cache_rules.h"
#include "gateway/web/cache_session.h"
#include "gateway/web/cache_settings.h"
#include "gateway/web/cache_store.h"
#include "gateway/web/conditional_get.h"
#include "gateway/web/content_coding.h"

namespace web {
namespace {

uint32_t Now() { return static_cast<uint32_t>(std::time(nullptr)); }

// Answers from the file: the session's relay sends it. A file that cannot be opened sends the
// request to the origin as on a miss.
int Serve(platform::Socket, const std::string& path, engine::CacheFields* cache) {
  cache->state = kCacheServed;
  return OpenStoredResponse(path, Now(), &cache->serve_fd, &cache->serve_offset);
}

int Fresh(platform::Socket client, std::string* request, const std::string& host_text,
          const RequestFacts& facts, uint32_t last_modified, const CacheSettings& settings,
          engine::CacheFields* cache) {
  const CacheSession& session = ThisThreadCacheSession();
  // That browser's own revalidation goes to the origin as it is.
  if (facts.msie && facts.if_modified_since) {
    cache->state = kCacheClientConditional;
    return -1;
  }
  if (!settings.enable_lookups && facts.mode != RevalidationMode::kReload) {
    unlink(session.full_path.c_str());
    cache->state = kCacheFetch;
    return -1;
  }
  if (facts.mode != RevalidationMode::kReload) {
    return Serve(client, session.full_path, cache);
  }
  *request = BuildConditionalGet(last_modified, facts.url, host_text);
  cache->state = kCacheRevalidating;
  return -1;
}

}  // namespace

int LookUpRequest(platform::Socket client, std::string* request, const std::string& host_text,
                  engine::CacheFields* cache) {
  ResetCacheSession();
  cache->state = engine::kCachePassThrough;
  CacheSettings settings = CurrentCacheSettings();
  if (!settings.enable_cache && !settings.enable_lookups) return -1;
  RequestFacts facts = ReadRequestFacts(*request);
  if (facts.authorization || !facts.is_get || facts.url.empty()) return -1;
  std::string name = CacheName(host_text, facts.url);
  CachePaths paths;
  if (DynamicName(name) || CachePathsFor(settings.cache_location, name, &paths) != 0) return -1;
  int64_t ttl = LookupTtl(host_text);
  if (ttl <= 0) return -1;
  // A coded copy is only for clients that accept its coding. Anyone else is answered by the
  // origin, and that answer is not stored over the coded copy.
  if (!AcceptsCoding(*request, StoredContentCoding(paths.full_path))) return -1;
  CacheSession& session = ThisThreadCacheSession();
  session.ttl = ttl;
  session.host_dir = paths.host_dir;
  session.full_path = paths.full_path;
  cache->path = name;
  uint32_t last_modified = 0;
  if (CheckURL(paths.full_path, Now(), &last_modified) == 0) {
    return Fresh(client, request, host_text, facts, last_modified, settings, cache);
  }
  if (!settings.enable_cache) return -1;
  mkdir(settings.cache_location.c_str(), 0755);
  cache->state =
      facts.mode == RevalidationMode::kClientConditional ? kCacheClientConditional : kCacheFetch;
  return -1;
}

}  // namespace web
