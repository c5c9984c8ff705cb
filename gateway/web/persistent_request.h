// A request that keeps its client connection open for more (HTTP/1.1 without "close"), and
// the form it is forwarded in: the client's own header block without the hop-by-hop fields
// (RFC 9110 section 7.6.1), so that the origin answers with framing of its own choice.
// Pure functions on the caller's text; any thread.
#pragma once

#include <string>

namespace web {

// True for a request whose line ends in HTTP/1.1 and whose Connection and Proxy-Connection
// fields do not ask for "close". request: the header block (any body bytes after it ignored).
[[nodiscard]] bool WantsKeepAlive(const std::string& request);
// True for a HEAD request (its answer has no body).
[[nodiscard]] bool IsHeadRequest(const std::string& request);
// The request without Connection, Proxy-Connection, Keep-Alive, TE, Trailer and Upgrade, and
// without every field the Connection fields name. The request line and body bytes are kept.
[[nodiscard]] std::string PersistentRequestHeaders(const std::string& request);

}  // namespace web
