// ApplySimulatorTimeScale.
#include "gateway/dialer/simulated_clock.h"

#include "gateway/dialer/dialer_clock.h"
#include "platform/dialup_provider.h"
#include "platform/registry.h"

namespace dialer {

int ApplySimulatorTimeScale() {
  uint32_t scale = 1;
  platform::RegKey key;
  if (platform::RegOpenKey(platform::Hive::kLocalMachine,
                           platform::RemoteAccessKeyPath() + "\\Simulator",
                           &key) == platform::kErrorSuccess) {
    if (platform::RegQueryDword(key, "TimeScale", &scale) != platform::kErrorSuccess) scale = 1;
    platform::RegCloseKey(key);
  }
  const int divisor = scale < 1 || scale > 1000000 ? 1 : static_cast<int>(scale);
  SetDialerTimeScale(divisor);
  return divisor;
}

}  // namespace dialer
