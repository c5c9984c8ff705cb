// Registering the TCP proxies' sessions and openings.
#include "gateway/proxies/tcp_proxies.h"

#include <new>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/net_dispatcher.h"
#include "gateway/engine/relay_openings.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/proxies/ftp_proxy.h"
#include "gateway/proxies/pop3_opening.h"
#include "gateway/proxies/socks_opening.h"
#include "gateway/proxies/telnet_proxy.h"

namespace proxies {

void RegisterTcpProxies() {
  engine::RegisterSessionFactory(
      engine::kMsgFtpAccept,
      [](platform::Socket listening, int idle_timeout) -> platform::WorkerThread* {
        return new (std::nothrow) FmCsFTPProxy(listening, idle_timeout);
      });
  engine::RegisterSessionFactory(
      engine::kMsgTelnetAccept,
      [](platform::Socket listening, int idle_timeout) -> platform::WorkerThread* {
        return new (std::nothrow) FmCsTelnetProxy(listening, idle_timeout);
      });
  engine::RegisterGreeting(engine::kCodePop3, GreetPop3);
  engine::RegisterOpening(engine::kCodePop3, OpenPop3);
  engine::RegisterOpening(engine::kCodeSocks, OpenSocks);
}

}  // namespace proxies
