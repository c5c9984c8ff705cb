// The scale is read on every use, so a test may change it between dials.
#include "gateway/dialer/dialer_clock.h"

#include <algorithm>
#include <atomic>
#include <climits>

namespace dialer {
namespace {
std::atomic<int> g_scale{1};
}

void SetDialerTimeScale(int divisor) { g_scale = std::max(divisor, 1); }

int DialerPeriodMs(long long nominal_ms) {
  long long scaled = nominal_ms / g_scale.load();
  return static_cast<int>(std::clamp<long long>(scaled, 1, INT_MAX));
}

}  // namespace dialer
