// The dialler's process-wide state: DialState and what the dialler was installed with, all
// guarded by the dialler lock. Session threads take the lock in EnsureDialUp and LinkStatus,
// the control thread in the DialerWindow's handlers. Nothing is called under it that could
// wait for a session, and no other lock of ours is held while taking it.
#pragma once

#include <memory>
#include <mutex>

#include "platform/dialup_facility.h"

namespace engine {
class ControlThread;
}

namespace dialer {

// Kinds of the last dial.
inline constexpr int kNoDial = 0;

struct DialState {
  int connected = 0;     // 1 after the facility reported the connection (or none is bound)
  int redial_count = 0;  // redials made for the current dial
  platform::DialHandle handle = 0;  // held from a successful start of a dial; 0 when idle
  long last_dial_result = 0;        // result of the last Dial call
  int last_dial_kind = kNoDial;     // engine::kDialForSession, engine::kDialByHand or kNoDial
  int hang_up_by_hand = 0;          // the next disconnected notification is not redialled
};

class DialerWindow;

struct Dialer {
  std::mutex lock;
  DialState state;                                     // guarded by lock
  std::unique_ptr<platform::DialupFacility> facility;  // guarded by lock; null: not bound
  platform::TargetId window = 0;                       // guarded by lock; the DialerWindow's target
  bool closing = false;                                // guarded by lock; shut-down has begun
  // Set and cleared by install and uninstall only (no session runs then).
  engine::ControlThread* control = nullptr;
  DialerWindow* window_object = nullptr;  // lives on the control thread
};

// The process-wide dialler.
[[nodiscard]] Dialer& TheDialer();

}  // namespace dialer
