// Cache names: the file of a URL under the cache directory. A name is the lower-cased host
// text with ":" made "~", a backslash, and the path in origin form in its own case with "/"
// made "~"; "%", "~", "\\", ":" (in the path), "/" (in the host) and control bytes are written
// "%XX", so each URL has a name of its own. The backslash is the directory separator on disk.
// Pure functions; any thread.
#pragma once

#include <string>

namespace web {

// Paths longer than this are neither looked up nor stored.
inline constexpr size_t kMaxCachePath = 259;

// The CacheName of a request: "Alpha:8080" and "/A/b~1.gif" give "alpha~8080\~A~b%7E1.gif".
[[nodiscard]] std::string CacheName(const std::string& host_text, const std::string& url);

// Where a cache name lives under the location (which ends with "/").
struct CachePaths {
  std::string host_dir;   // location + host part
  std::string full_path;  // host_dir + "/" + file part
};

// 0 with both paths, or -1 when the name has no host part or a part that could leave its
// directory ("", ".", "..", a further backslash, a NUL), when the location is empty, or when
// the full path is longer than kMaxCachePath.
[[nodiscard]] int CachePathsFor(const std::string& location, const std::string& name,
                                CachePaths* out);

}  // namespace web
