// Installing the dialler into the gateway: binds the dial-up facility, creates the
// DialerWindow on the engine's control thread and registers the dialler as the engine's link
// provider; and its shut-down step. Called by the program's start-up and shut-down sequence
// on the main thread, never while sessions ask for the link during install or uninstall.
#pragma once

#include <functional>
#include <memory>

#include "gateway/engine/control_thread.h"
#include "platform/dialup_facility.h"
#include "platform/dialup_provider.h"

namespace dialer {

// The start-up step: the facility of provider (none: the link is always usable and nothing is
// dialled), the window on control, the link provider. Sessions are counted with
// engine::CountSessions. Call once; UninstallDialer undoes it.
void InstallDialer(engine::ControlThread& control, platform::DialupProvider provider);
// The same with a given facility (nullptr: not bound) and session counter.
void InstallDialer(engine::ControlThread& control,
                   std::unique_ptr<platform::DialupFacility> facility,
                   std::function<int()> count_sessions);

// The shut-down step: no dial starts any more, the current dial or connection is given up
// (every waiting session is resumed and finds no link) and hung up, and the handle is watched
// until the facility reports it gone, for at most kHangUpWaitMs on the dialler's clock.
void HangUpDialer();
inline constexpr int kHangUpWaitMs = 3000;

// Releases what InstallDialer made: the window (on the control thread, when it still runs),
// the link provider registration and the facility (which ends its dials).
void UninstallDialer();

}  // namespace dialer
