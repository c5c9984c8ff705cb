// The request header block of a proxy request: collecting it from the client socket (up to
// its empty line, bounded in size and time) and rewriting its connection headers so that
// the server closes after one response. Used by a WWW session's own thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/socket.h"

namespace web {

// The largest request header block the proxy takes, empty line included.
inline constexpr size_t kMaxRequestHead = 16384;
// How long the opening waits for the whole header block at most; the opening's own bounds
// (a quiet time without a byte, and its total) apply within it.
inline constexpr int kRequestWaitMs = 120 * 1000;

enum class HeadResult {
  kComplete,   // *request holds the header block and any bytes that came with it
  kNothing,    // no byte arrived within the wait: end without a reply
  kViolation,  // over kMaxRequestHead, or unfinished when the wait ended
  kClosed,     // the client left (or the socket query failed): end without a reply
  kRecvError,  // a receive failed
  kNoMemory,   // no buffer for the request
};

// Reads from client (non-blocking) until the header block's empty line ("\r\n\r\n" or
// "\n\n") has arrived, for at most wait_ms in all and within the opening's bounds, waiting on
// the session's queue: a kill ends the wait at once (kClosed). Bytes *request holds already
// (read with the previous request on a kept connection) come first.
[[nodiscard]] HeadResult CollectRequestHead(platform::Socket client, int wait_ms,
                                            std::string* request);

// Offset just past the header block's empty line, or std::string::npos when there is none.
[[nodiscard]] size_t HeadEnd(const std::string& request, size_t from = 0);

// The request with every Connection, Proxy-Connection and Keep-Alive header (and their
// folded continuation lines) removed and "Connection: close" added at the end of the header
// block, in the line ending the request uses. The request line and any body bytes are kept.
[[nodiscard]] std::string CloseConnectionHeaders(const std::string& request);
// The request without the header fields named in names (lower case, with their folded
// continuation lines), and with the line added (unless empty) at the end of the header block.
[[nodiscard]] std::string WithoutHeaders(const std::string& request,
                                         const std::vector<std::string>& names,
                                         std::string_view added);

}  // namespace web
