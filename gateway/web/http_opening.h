// OpenHttp: the opening of a WWW session. It reads the request, rewrites it for the origin
// server, resolves the target, applies the access rules, asks the web cache, connects out
// and forwards the request (or answers a CONNECT), then hands both sockets to the relay.
// Runs on the session's own thread; touches only that session.
#pragma once

#include "gateway/engine/relay_session.h"

namespace web {

inline constexpr int kConnectPort = 443;  // the only port a CONNECT may reach
inline constexpr char kConnectEstablished[] =
    "HTTP/1.0 200 Connection established\r\nProxy-Agent: Wayfarer/1.1\r\n\n";

// Called on the client's first read event, and again for each further request on a kept
// connection (the bytes read ahead of it are taken from the session). 0: the relay is set up (both
// sockets selected for relay events); -1: the session ends (the client has been answered where
// there was anything to say, and the session's CloseSession closes both sockets).
[[nodiscard]] int OpenHttp(engine::FmCsHttpService& session);

}  // namespace web
