// Whether the Internet link can be used now, starting a dial when it cannot: what the
// sessions' outbound operations and the Dial page ask of the dialler.
// Thread-safe: both functions run under the dialler lock, from any thread, and never wait for
// the dial itself (its outcome arrives at the DialerWindow).
#pragma once

namespace dialer {

// kind engine::kDialForSession (a session needs the link) or engine::kDialByHand (Dial page).
// 0: the link may be used now; 1: a dial is running (a session posts kMsgWaitForDial to the
// dialler's target and waits to be resumed, then asks LinkStatus); -1: no link can be had.
[[nodiscard]] int EnsureDialUp(int kind);

// -1 when a facility is bound, DialOnDemand is 1 and no made connection is held; else 0.
// Sessions use it after a failure to choose the dialler's failure text over their ordinary one.
[[nodiscard]] int LinkStatus();

}  // namespace dialer
