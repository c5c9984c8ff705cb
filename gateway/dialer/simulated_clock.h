// The speed of the dialler's clock on the simulated line: the DWORD TimeScale of the key
// <remote-access key>\Simulator divides every period of the dialler (idle check, automatic
// hang-up, redial pause, dial limit), so a whole day of dials, idle hang-ups and redials can be
// watched on the Dial page in minutes. Read by the start-up step on the main thread.
#pragma once

namespace dialer {

// Sets the dialler's time scale from the store (1, real time, when the value is missing or
// below 1). Returns the scale set.
int ApplySimulatorTimeScale();

}  // namespace dialer
