// The request line of a proxy request: an absolute URL is turned into the origin form the
// server expects, and the host text (host with optional colon and port) is taken out of it.
// Pure functions on the caller's text; any thread.
#pragma once

#include <string>

namespace web {

// Rewrites the request line of request in place. For "GET http://host:8080/a/b HTTP/1.0"
// the line becomes "GET /a/b HTTP/1.0" and *host_text "host:8080"; a URL without a path
// gets "/". The header lines and any body bytes after the line stay as they are.
// For "CONNECT host:port ..." *host_text is "host:port", *is_connect is set and the request
// text becomes "CONNECT" alone. Runs of blanks between the tokens are skipped.
// 0, or -1 for a malformed line: no method, no URL, no host, or no version.
[[nodiscard]] int RewriteRequestLine(std::string* request, std::string* host_text,
                                     bool* is_connect);

}  // namespace web
