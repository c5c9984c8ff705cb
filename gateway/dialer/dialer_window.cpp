// The DialerWindow's handlers. The dialler lock is taken only around DialState and the
// facility; sessions are resumed and timers set outside it.
#include "gateway/dialer/dialer_window.h"

#include <algorithm>

#include "gateway/dialer/dial_state.h"
#include "gateway/dialer/dialer_clock.h"
#include "gateway/dialer/ensure_dial_up.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/link_provider.h"
#include "gateway/engine/settings_records.h"
#include "platform/resumable_wait.h"

namespace dialer {

DialerWindow::DialerWindow(std::function<int()> count_sessions)
    : count_sessions_(std::move(count_sessions)) {
  target_ = platform::CreateTarget([this](const platform::Message& msg) { OnMessage(msg); });
}

DialerWindow::~DialerWindow() {
  ResumeWaiting();
  // A target dies with its thread; only a living owner destroys it.
  if (platform::TargetThread(target_) == platform::CurrentThreadId()) {
    platform::DestroyTarget(target_);
  }
}

void DialerWindow::OnMessage(const platform::Message& msg) {
  switch (msg.message) {
    case platform::kDialEventMessage:
      OnDialEvent(static_cast<int>(msg.wparam));
      break;
    case engine::kMsgWaitForDial:
      OnWaitForDial(static_cast<platform::ThreadId>(msg.wparam));
      break;
    case engine::kMsgRedial:
      OnRedial();
      break;
    case engine::kMsgGiveUpDial:
      GiveUp();
      break;
    case platform::kWmTimer:
      OnTimer(msg.wparam);
      break;
    default:
      break;
  }
}

void DialerWindow::OnDialEvent(int state) {
  Dialer& d = TheDialer();
  {
    std::lock_guard lock(d.lock);
    // Progress of a dial we no longer hold (hung up meanwhile) is stale.
    if (d.state.handle == 0) return;
    if (state == platform::kDialConnected) {
      d.state.connected = 1;
      d.state.redial_count = 0;
    } else if (state == platform::kDialDisconnected && d.state.hang_up_by_hand != 0) {
      d.state.hang_up_by_hand = 0;
      return;
    }
  }
  switch (state) {
    case platform::kDialOpenPort:
      platform::SetTimer(target_, kDialLimitTimer, DialerPeriodMs(kDialLimitMs));
      break;
    case platform::kDialConnected:
      platform::KillTimer(target_, kDialLimitTimer);
      ResumeWaiting();
      platform::SetTimer(target_, kIdleCheckTimer, DialerPeriodMs(kIdleCheckMs));
      break;
    case platform::kDialDisconnected:
      platform::KillTimer(target_, kDialLimitTimer);
      platform::PostMessage(target_, engine::kMsgRedial, 0, 0);
      break;
    default:
      break;
  }
}

void DialerWindow::OnWaitForDial(platform::ThreadId thread) {
  if (thread == 0) return;
  Dialer& d = TheDialer();
  bool dialling;
  {
    std::lock_guard lock(d.lock);
    dialling = redialling_ || (d.state.handle != 0 && d.state.connected == 0);
  }
  // The dial may have ended before this request arrived: then nothing else would resume it.
  if (!dialling) {
    platform::ResumeThread(thread);
    return;
  }
  if (std::find(waiting_.begin(), waiting_.end(), thread) == waiting_.end()) {
    waiting_.push_back(thread);
  }
}

void DialerWindow::HangUpHeld() {
  Dialer& d = TheDialer();
  std::lock_guard lock(d.lock);
  if (d.state.handle == 0) return;
  long rc = d.facility->HangUp(d.state.handle);
  // A handle the facility no longer knows is gone just as well.
  if (rc == 0 || rc == platform::kDialErrorInvalidHandle) {
    d.state.handle = 0;
    d.state.connected = 0;
  }
}

void DialerWindow::OnRedial() {
  HangUpHeld();
  // The pause is a timer, not a sleep: the window keeps taking requests meanwhile.
  redialling_ = true;
  platform::SetTimer(target_, kRedialPauseTimer, DialerPeriodMs(kRedialPauseMs));
}

void DialerWindow::OnRedialPauseEnded() {
  platform::KillTimer(target_, kRedialPauseTimer);
  redialling_ = false;
  engine::DiallerSettings settings;
  engine::LoadDiallerSettings(&settings);
  Dialer& d = TheDialer();
  bool redial;
  {
    std::lock_guard lock(d.lock);
    redial = d.state.redial_count < settings.Retires;
    d.state.redial_count = redial ? d.state.redial_count + 1 : 0;
  }
  if (redial) {
    int rc = EnsureDialUp(engine::kDialForSession);
    if (rc == 1) return;  // the new dial reports through notifications
    // 0: no dial is needed any more (dial-on-demand was switched off meanwhile, or the line
    // is up): the waiting sessions go ahead now instead of waiting for nothing.
    if (rc == 0) {
      ResumeWaiting();
      return;
    }
  }
  platform::PostMessage(target_, engine::kMsgGiveUpDial, 0, 0);
}

void DialerWindow::GiveUp() {
  Dialer& d = TheDialer();
  {
    std::lock_guard lock(d.lock);
    if (d.state.handle != 0) d.facility->HangUp(d.state.handle);
    d.state.handle = 0;
    d.state.connected = 0;
  }
  redialling_ = false;
  ResumeWaiting();
  for (uintptr_t id : {kIdleCheckTimer, kAutoDisconnectTimer, kRedialPauseTimer, kDialLimitTimer}) {
    platform::KillTimer(target_, id);
  }
  auto_disconnect_running_ = false;
}

void DialerWindow::OnIdleCheck() {
  if (count_sessions_() > 0) {
    if (auto_disconnect_running_) platform::KillTimer(target_, kAutoDisconnectTimer);
    auto_disconnect_running_ = false;
    return;
  }
  engine::DiallerSettings settings;
  engine::LoadDiallerSettings(&settings);
  if (settings.AutoDisconnect != 1 || auto_disconnect_running_) return;
  // The Dial page never stores 0 minutes with AutoDisconnect on; a hand-edited 0 means 1.
  int period_ms = DialerPeriodMs(std::max(settings.Minutes, 1) * 1LL * kMinuteMs);
  platform::SetTimer(target_, kAutoDisconnectTimer, period_ms);
  auto_disconnect_running_ = true;
}

void DialerWindow::OnAutoDisconnect() {
  platform::KillTimer(target_, kIdleCheckTimer);
  platform::KillTimer(target_, kAutoDisconnectTimer);
  auto_disconnect_running_ = false;
  Dialer& d = TheDialer();
  {
    std::lock_guard lock(d.lock);
    if (d.state.handle != 0) d.facility->HangUp(d.state.handle);
    d.state.handle = 0;
    d.state.connected = 0;
  }
  // A redial in progress is hung up with the line: its waiting sessions must not stay behind.
  ResumeWaiting();
}

void DialerWindow::OnTimer(uintptr_t id) {
  switch (id) {
    case kIdleCheckTimer:
      OnIdleCheck();
      break;
    case kAutoDisconnectTimer:
      OnAutoDisconnect();
      break;
    case kRedialPauseTimer:
      OnRedialPauseEnded();
      break;
    case kDialLimitTimer:
      platform::KillTimer(target_, kDialLimitTimer);
      OnRedial();
      break;
    default:
      break;
  }
}

void DialerWindow::ResumeWaiting() {
  std::vector<platform::ThreadId> waiting;
  waiting.swap(waiting_);
  for (platform::ThreadId thread : waiting) platform::ResumeThread(thread);
}

}  // namespace dialer
