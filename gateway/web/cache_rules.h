// The web cache's decisions that need no file: what a request asks of the cache, whether a
// response may be kept, how long an object lives. Pure functions apart from LookupTtl, which
// reads the process-wide exceptions; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "gateway/web/cache_settings.h"

namespace web {

// CacheState values a WWW session moves through (the relay knows PassThrough and Storing).
inline constexpr int kCacheServed = 0;
inline constexpr int kCacheFetch = -1;
inline constexpr int kCachePassThroughState = -2;
inline constexpr int kCacheStoringState = -3;
inline constexpr int kCacheRevalidating = -4;
inline constexpr int kCacheClientConditional = -5;

// Response bytes looked at while the header block is incomplete.
inline constexpr size_t kHeaderBufferSize = 16384;

enum class RevalidationMode { kPlain = 0, kReload = 1, kClientConditional = 2 };

// What CacheRequest reads from a request (the lower-cased copy).
struct RequestFacts {
  RevalidationMode mode = RevalidationMode::kPlain;
  bool msie = false;               // the User-Agent line holds "msie"
  bool if_modified_since = false;  // "if-modified-since" anywhere
  bool authorization = false;      // "authorization" anywhere
  bool is_get = false;             // first token "get"
  std::string url;                 // second token, in the client's own case
};

[[nodiscard]] RequestFacts ReadRequestFacts(const std::string& request);
// "no-cache" and "if-modified-since" anywhere in the lower-cased request; the one that
// comes first decides when both are there.
[[nodiscard]] RevalidationMode RevalidationModeOf(const std::string& lower_request);
// True for names never looked up or stored: "?", "cgi-bin" or ".asp" anywhere.
[[nodiscard]] bool DynamicName(const std::string& cache_name);

// 200, 304 or 404 for a response the cache may use; -1 when it must not be kept.
[[nodiscard]] int ClassifyResponse(const char* head, size_t length);

// Offset where the header block's empty line ("\r\n\r\n" or "\n\n") begins, or npos.
[[nodiscard]] size_t FindHeaderEnd(const char* data, size_t length);
// Length of the empty line found at that offset (4 or 2).
[[nodiscard]] size_t HeaderEndLength(const char* data, size_t at);
// The declared Content-Length of a lower-cased header block; -1 when none or malformed.
[[nodiscard]] int64_t DeclaredContentLength(const std::string& lower_head);

// Seconds of count units: 1 hours, 2 days, anything else weeks.
[[nodiscard]] int64_t TtlSeconds(int64_t count, int unit);
// The time to live for a request's host text; 0: never cache this host.
[[nodiscard]] int64_t LookupTtl(const std::string& host_text);
[[nodiscard]] int64_t LookupTtlIn(const CacheExceptions& exceptions, const CacheSettings& settings,
                                  const std::string& host_text);

[[nodiscard]] std::string Lowered(const char* data, size_t length);

}  // namespace web
