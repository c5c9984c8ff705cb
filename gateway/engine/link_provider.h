// What the sessions ask of the dial-up side before they reach the Internet. The engine
// declares it; the dialler registers its implementation at start-up. Until then (and on a
// machine without dial-up) the link is always usable.
// Thread-safe: sessions call it from their own threads.
#pragma once

#include "platform/message_queue.h"

namespace engine {

// Kinds of dial request.
inline constexpr int kDialForSession = 1;
inline constexpr int kDialByHand = 2;

class LinkProvider {
 public:
  virtual ~LinkProvider() = default;
  // 0: the link is usable; 1: a dial was started and the caller must wait until the dialler
  // resumes it (post kMsgWaitForDial to DialerTarget, then wait); -1: no link.
  virtual int EnsureDialUp(int kind) = 0;
  // After the wait: 0 the link is usable, -1 it is not.
  virtual int LinkStatus() = 0;
  // The dialler's target, which takes kMsgWaitForDial with wParam = the waiting thread's id.
  virtual platform::TargetId DialerTarget() = 0;
};

// Installs provider (not owned; it must outlive every session). nullptr restores the default.
void SetLinkProvider(LinkProvider* provider);
[[nodiscard]] LinkProvider& Link();

}  // namespace engine
