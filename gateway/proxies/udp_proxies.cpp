// The factories the dispatcher calls on kMsgRealAudioAccept, kMsgUdpMappedRead and
// kMsgDnsDatagram. Each makes one session; nullptr when it cannot be allocated (the DNS
// factory reads its datagram itself and also gives nullptr when no session is needed).
#include "gateway/proxies/udp_proxies.h"

#include <new>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/net_dispatcher.h"
#include "gateway/proxies/dns_proxy.h"
#include "gateway/proxies/realaudio_proxy.h"
#include "gateway/proxies/udp_map.h"

namespace proxies {

void RegisterUdpProxies() {
  engine::RegisterSessionFactory(engine::kMsgRealAudioAccept,
                                 [](platform::Socket listening, int) -> platform::WorkerThread* {
                                   return new (std::nothrow) CRealAudio(listening);
                                 });
  engine::RegisterSessionFactory(
      engine::kMsgUdpMappedRead,
      [](platform::Socket listening, int idle_timeout) -> platform::WorkerThread* {
        return new (std::nothrow) CUDPMap(listening, engine::NetMsgTarget(), idle_timeout);
      });
  engine::RegisterSessionFactory(engine::kMsgDnsDatagram,
                                 [](platform::Socket dns_socket, int) -> platform::WorkerThread* {
                                   return TakeDnsQuery(dns_socket);
                                 });
}

}  // namespace proxies
