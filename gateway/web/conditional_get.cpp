// BuildConditionalGet.
#include "gateway/web/conditional_get.h"

#include "gateway/web/http_date.h"

namespace web {

std::string BuildConditionalGet(uint32_t last_modified, const std::string& url,
                                const std::string& host_text) {
  // The Host line makes a name-based server answer for the object that was cached, not for
  // its default site.
  return "GET " + url + " HTTP/1.0 \r\nHost: " + host_text +
         "\r\nIf-Modified-Since: " + FormatHttpDate(last_modified) + "\r\n\r\n";
}

}  // namespace web
