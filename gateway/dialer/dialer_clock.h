// The one clock of the dialler's periods (idle check, automatic hang-up, redial pause, dial
// limit, shut-down wait): nominal milliseconds divided by a scale that tests raise so minutes
// pass in milliseconds. Thread-safe (the scale is atomic).
#pragma once

namespace dialer {

inline constexpr int kIdleCheckMs = 27000;
inline constexpr int kMinuteMs = 60000;
inline constexpr int kRedialPauseMs = 2000;
// A dial that has neither connected nor failed by then is treated as failed, so no session
// and no redial waits on a dial-up program that never reports an outcome.
inline constexpr int kDialLimitMs = 90000;

// Sets the divisor of every period (1: real time). Values below 1 count as 1.
void SetDialerTimeScale(int divisor);
// nominal_ms on the dialler's clock; at least 1 ms.
[[nodiscard]] int DialerPeriodMs(long long nominal_ms);

}  // namespace dialer
