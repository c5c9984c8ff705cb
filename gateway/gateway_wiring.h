// The one place where the subsystems above the engine register their start-up steps,
// session factories and hooks with the engine. Called once by main before start-up.
#pragma once

#include "gateway/engine/gateway_app.h"

namespace gateway {

[[nodiscard]] engine::StartupHooks WireSubsystems();

}  // namespace gateway
