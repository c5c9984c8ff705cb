// The Dial page's Dial and Stop and its status line, over the dialler's state and facility:
// dialling by hand (EnsureDialUp kind 2), hanging up by hand so the dialler does not redial,
// and the text of the connection's state. Called on the console thread; each takes the
// dialler lock only around the state and the facility.
#pragma once

#include <string>

namespace dialer {

inline constexpr char kE10027[] = "E-10027: Connection active. Use Stop first.";
inline constexpr char kOffline[] = "Modem is OffLine";
inline constexpr char kInitializingModem[] = "Initializing modem...";

// Dial (after the page's save step): E-10027 while a connection handle is held, E-10016 with
// no profile selected (both: -1, *status untouched). Otherwise starts the dial by hand and
// sets *status to what the page shows at once: the facility's text when the dial could not
// start (-1), else the device type and name ("Modem is OffLine" or the error text when its
// status cannot be read, and the handle is forgotten). 0 when a dial runs or the link is up.
int DialByHand(const std::string& profile, std::string* status);

// Stop (after the page's save step). With a handle held: when count_sessions() > 0 asks
// "%d active client session(s). Close anyway?" (No: -1); hangs up, marks the hang-up as by
// hand, forgets the handle and asks the dialler to give up (waiting sessions are released,
// its timers stop). Without one: an active connection of the stored Profile is hung up. 0.
int StopByHand(int live_sessions);

// The status line: the state of the held connection, or who uses the line, or
// "Modem is OffLine".
[[nodiscard]] std::string DialStatusLine();

}  // namespace dialer
