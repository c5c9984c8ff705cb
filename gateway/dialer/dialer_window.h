// The DialerWindow: the dialler's message target on the engine's control thread. It takes the
// facility's progress, the sessions' requests to wait for a dial (kMsgWaitForDial), redials
// (kMsgRedial), gives up (kMsgGiveUpDial), and runs the idle-check and automatic hang-up
// timers. Made, used and destroyed only on the control thread; other threads only post to it.
#pragma once

#include <functional>
#include <vector>

#include "platform/message_queue.h"

namespace dialer {

// Timer ids on the window.
inline constexpr uintptr_t kIdleCheckTimer = 1;
inline constexpr uintptr_t kAutoDisconnectTimer = 2;
inline constexpr uintptr_t kRedialPauseTimer = 3;
inline constexpr uintptr_t kDialLimitTimer = 4;

class DialerWindow {
 public:
  // Creates the target on the calling thread. count_sessions gives the live client-service
  // pairs for the idle check.
  explicit DialerWindow(std::function<int()> count_sessions);
  ~DialerWindow();
  DialerWindow(const DialerWindow&) = delete;
  DialerWindow& operator=(const DialerWindow&) = delete;

  [[nodiscard]] platform::TargetId target() const { return target_; }
  // What kMsgGiveUpDial does: hang up, release every waiting session, stop the timers.
  void GiveUp();

 private:
  void OnMessage(const platform::Message& msg);
  void OnDialEvent(int state);
  void OnWaitForDial(platform::ThreadId thread);
  void OnRedial();
  void OnRedialPauseEnded();
  void OnIdleCheck();
  void OnAutoDisconnect();
  void OnTimer(uintptr_t id);
  // Hangs up the held handle and forgets it when it is gone. Takes the dialler lock.
  void HangUpHeld();
  void ResumeWaiting();

  platform::TargetId target_ = 0;
  std::function<int()> count_sessions_;
  // Sessions waiting for the current dial. Not capped: every one is resumed when the dial
  // ends; a thread is listed once, so it is resumed once.
  std::vector<platform::ThreadId> waiting_;
  bool redialling_ = false;  // between kMsgRedial and the redial decision
  bool auto_disconnect_running_ = false;
};

}  // namespace dialer
