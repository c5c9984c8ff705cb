// The web proxy's place in the engine: its opening for the WWW service code. Called once by
// the program's wiring at start-up, before the listeners start.
#pragma once

namespace web {

void RegisterWebProxy();

}  // namespace web
