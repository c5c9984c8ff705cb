// The web cache's place in the program: its hook in the relay, the settings load and the
// purge thread as start-up steps. Called once by the program's wiring, before start-up.
#pragma once

#include "gateway/engine/gateway_app.h"

namespace web {

void WireWebCache(engine::StartupHooks* hooks);

}  // namespace web
