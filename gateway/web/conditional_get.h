// The proxy's own conditional request, sent in place of a browser's reload of a fresh
// cached object. Pure function; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace web {

// "GET <url> HTTP/1.0 \r\nHost: <host text>\r\nIf-Modified-Since: <RFC 1123 date>\r\n\r\n".
// url is the path in origin form as the client wrote it; host_text as in the request URL.
[[nodiscard]] std::string BuildConditionalGet(uint32_t last_modified, const std::string& url,
                                              const std::string& host_text);

}  // namespace web
