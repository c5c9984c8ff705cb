// Registers the dispatcher's session factories for the RealAudio proxy, the UDP mapped links
// and the DNS service. Called once at start-up, before the listeners start.
#pragma once

namespace proxies {

void RegisterUdpProxies();

}  // namespace proxies
