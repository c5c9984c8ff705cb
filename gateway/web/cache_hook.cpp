// CacheResponseChunk and the ends of a stored response: a file is put in place only when
// its response is whole (its declared length reached, or the server closed in order after
// every byte); anything else leaves no file behind.
#include "gateway/web/cache_hook.h"

#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "gateway/engine/relay_session.h"
#include "gateway/web/cache_rules.h"
#include "gateway/web/cache_session.h"
#include "gateway/web/cache_settings.h"
#include "gateway/web/cache_store.h"

namespace web {
namespace {

uint32_t Now() { return static_cast<uint32_t>(std::time(nullptr)); }

void StopCaching(engine::CacheFields& cache, CacheSession& session) {
  session.writer.Discard();
  cache.file = -1;
  cache.state = engine::kCachePassThrough;
}

// Body bytes still wanted: all of them without a declared length.
size_t BodyRoom(const CacheSession& session, size_t n) {
  if (session.content_length < 0) return n;
  int64_t left = std::max<int64_t>(0, session.content_length - session.body_stored);
  return static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(n)));
}

// A response of declared length is put in place the moment its last byte is stored, and
// the cache then leaves the rest of the session alone.
void CommitWhenWhole(engine::CacheFields& cache, CacheSession& session) {
  if (session.content_length < 0 || session.body_stored < session.content_length) return;
  [[maybe_unused]] int rc = session.writer.Commit();
  cache.file = -1;
  cache.state = engine::kCachePassThrough;
}

void AppendBody(engine::CacheFields& cache, CacheSession& session, const char* data, size_t n) {
  size_t take = BodyRoom(session, n);
  if (take > 0 && session.writer.Append(data, take) != 0) {
    StopCaching(cache, session);
    return;
  }
  session.body_stored += static_cast<int64_t>(take);
  CommitWhenWhole(cache, session);
}

// A 200 with caching on: the file is begun with everything received so far.
void BeginStore(engine::CacheFields& cache, CacheSession& session, size_t head_end) {
  size_t head_length = head_end + HeaderEndLength(session.head.data(), head_end);
  session.content_length = DeclaredContentLength(Lowered(session.head.data(), head_end));
  size_t body = session.head.size() - head_length;
  size_t take = BodyRoom(session, body);
  if (session.writer.Begin(session.host_dir, session.full_path, session.head.data(),
                           head_length + take, head_end, session.ttl, Now()) != 0) {
    StopCaching(cache, session);
    return;
  }
  session.body_stored = static_cast<int64_t>(take);
  cache.file = session.writer.fd();
  cache.path = session.full_path;
  CommitWhenWhole(cache, session);
}

// The header block is complete: what the response's class means for this session.
int Decide(engine::FmCsHttpService& owner, CacheSession& session, size_t head_end) {
  engine::CacheFields& cache = owner.cache();
  int saved = cache.state;
  cache.state = engine::kCacheStoring;
  if (session.full_path.empty()) {
    cache.state = engine::kCachePassThrough;
    return -1;
  }
  int status = ClassifyResponse(session.head.data(), head_end);
  // The origin says the object changed (or may not be kept): the old copy goes.
  if (saved == kCacheRevalidating && (status == -1 || status == 200)) {
    unlink(session.full_path.c_str());
  }
  if (status == 200) {
    if (!CurrentCacheSettings().enable_cache) {
      cache.state = engine::kCachePassThrough;
    } else {
      BeginStore(cache, session, head_end);
    }
    return -1;
  }
  cache.state = engine::kCachePassThrough;
  if ((status == 304 || status == 404) && saved == kCacheRevalidating) {
    // The origin confirmed the stored copy: the session serves it instead of this answer.
    if (OpenStoredResponse(session.full_path, Now(), &cache.serve_fd, &cache.serve_offset) == 0) {
      return 0;
    }
  }
  return -1;
}

}  // namespace

int WebCacheHook::CacheResponseChunk(engine::FmCsHttpService& owner, const char* data, size_t n) {
  engine::CacheFields& cache = owner.cache();
  CacheSession& session = ThisThreadCacheSession();
  if (cache.state == engine::kCacheStoring) {
    AppendBody(cache, session, data, n);
    return -1;
  }
  // Only the header block has to fit: body bytes that arrive in the same read as its end
  // do not make a response uncacheable.
  session.head.append(data, n);
  cache.header_length += n;
  size_t end = FindHeaderEnd(session.head.data(), session.head.size());
  bool complete = end != std::string::npos &&
                  end + HeaderEndLength(session.head.data(), end) < kHeaderBufferSize;
  if (!complete) {
    if (cache.header_length >= kHeaderBufferSize) {
      cache.state = engine::kCachePassThrough;
      session.head.clear();
    }
    return -1;
  }
  int result = Decide(owner, session, end);
  session.head.clear();
  session.head.shrink_to_fit();
  return result;
}

void WebCacheHook::DiscardCacheFile(engine::FmCsHttpService& owner) {
  StopCaching(owner.cache(), ThisThreadCacheSession());
}

void WebCacheHook::ResponseEnded(engine::FmCsHttpService& owner) {
  engine::CacheFields& cache = owner.cache();
  CacheSession& session = ThisThreadCacheSession();
  if (!session.writer.open()) return;
  // A declared length that was not reached means the response was cut short.
  if (session.content_length >= 0 && session.body_stored < session.content_length) {
    StopCaching(cache, session);
    return;
  }
  [[maybe_unused]] int rc = session.writer.Commit();
  cache.file = -1;
  cache.state = engine::kCachePassThrough;
}

void WebCacheHook::CloseCacheFile(engine::FmCsHttpService& owner) {
  owner.cache().file = -1;
  ResetCacheSession();
}

void InstallCacheHook() {
  static WebCacheHook hook;
  engine::SetCacheHook(&hook);
}

}  // namespace web
