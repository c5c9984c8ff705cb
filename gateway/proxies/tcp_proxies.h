// Start-up registration of the FTP, Telnet, POP3 and SOCKS proxies with the engine: the FTP
// and Telnet session factories, POP3's greeting and opening, SOCKS's opening.
// Called once by the program's wiring before the listeners start.
#pragma once

namespace proxies {

void RegisterTcpProxies();

}  // namespace proxies
