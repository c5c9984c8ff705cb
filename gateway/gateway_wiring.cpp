// Start-up steps of the subsystems, in the order the application runs them.
#include "gateway/gateway_wiring.h"

namespace gateway {

engine::StartupHooks WireSubsystems() {
  engine::StartupHooks hooks;
  return hooks;
}

}  // namespace gateway
