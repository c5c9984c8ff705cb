// Which stored responses a client may be given, and which responses may be stored at all:
// the coding of a stored response against the client's Accept-Encoding, and the
// Cache-Control directives that forbid storing. Pure functions except StoredContentCoding,
// which reads a cache file; any thread.
#pragma once

#include <string>

namespace web {

// The Content-Encoding of a response header block, lower-cased and trimmed; "" for none or
// "identity".
[[nodiscard]] std::string ContentCodingOf(const std::string& head);
// The Content-Encoding of the response stored at full_path; "" when there is no file, no
// coding, or the file cannot be read.
[[nodiscard]] std::string StoredContentCoding(const std::string& full_path);
// True when the request's Accept-Encoding names coding (or "*") with a q-value above 0
// ("x-gzip" counts as "gzip"). "" (identity) is always accepted.
[[nodiscard]] bool AcceptsCoding(const std::string& request, const std::string& coding);
// True when a Cache-Control header of the (lower-cased) response header block says no-store
// or private: the response is relayed but never kept.
[[nodiscard]] bool CacheControlForbidsStore(const std::string& lower_head);

}  // namespace web
