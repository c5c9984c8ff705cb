// Start-up steps of the subsystems, in the order the application runs them.
#include "gateway/gateway_wiring.h"

#include "gateway/dialer/dialer_link.h"
#include "gateway/proxies/tcp_proxies.h"
#include "gateway/proxies/udp_proxies.h"
#include "gateway/web/web_cache.h"
#include "gateway/web/web_proxy.h"
#include "platform/dialup_provider.h"

namespace gateway {

engine::StartupHooks WireSubsystems() {
  engine::StartupHooks hooks;
  web::RegisterWebProxy();
  proxies::RegisterTcpProxies();
  proxies::RegisterUdpProxies();
  hooks.create_dialer = [](engine::ControlThread& control) {
    dialer::InstallDialer(control, platform::DetectDialupProvider());
  };
  hooks.hang_up = [] { dialer::HangUpDialer(); };
  hooks.teardown = [] { dialer::UninstallDialer(); };
  web::WireWebCache(&hooks);
  return hooks;
}

}  // namespace gateway
