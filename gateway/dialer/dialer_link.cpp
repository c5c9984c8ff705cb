// The dialler as the engine's LinkProvider, and its place in start-up and shut-down.
#include "gateway/dialer/dialer_link.h"

#include <chrono>
#include <thread>

#include "gateway/dialer/dial_state.h"
#include "gateway/dialer/dialer_clock.h"
#include "gateway/dialer/dialer_window.h"
#include "gateway/dialer/ensure_dial_up.h"
#include "gateway/dialer/simulated_clock.h"
#include "gateway/engine/link_provider.h"
#include "gateway/engine/session_registry.h"

namespace dialer {
namespace {

constexpr int kHangUpPollMs = 50;

class DialerLink : public engine::LinkProvider {
 public:
  int EnsureDialUp(int kind) override { return dialer::EnsureDialUp(kind); }
  int LinkStatus() override { return dialer::LinkStatus(); }
  platform::TargetId DialerTarget() override {
    Dialer& d = TheDialer();
    std::lock_guard lock(d.lock);
    return d.window;
  }
};

DialerLink g_link;

// Waits, bounded, until the facility no longer knows handle.
void WaitUntilGone(platform::DialupFacility* facility, platform::DialHandle handle) {
  if (facility == nullptr || handle == 0) return;
  platform::DialStatus status;
  const int limit = DialerPeriodMs(kHangUpWaitMs);
  for (int waited = 0; waited < limit; waited += kHangUpPollMs) {
    if (facility->GetConnectStatus(handle, &status) == platform::kDialErrorInvalidHandle) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(kHangUpPollMs));
  }
}

}  // namespace

void InstallDialer(engine::ControlThread& control, platform::DialupProvider provider) {
  if (provider == platform::DialupProvider::kSimulated) (void)ApplySimulatorTimeScale();
  InstallDialer(control, platform::BindDialupFacility(provider),
                [] { return engine::CountSessions(); });
}

void InstallDialer(engine::ControlThread& control,
                   std::unique_ptr<platform::DialupFacility> facility,
                   std::function<int()> count_sessions) {
  Dialer& d = TheDialer();
  DialerWindow* window = nullptr;
  control.RunAndWait([&] { window = new DialerWindow(std::move(count_sessions)); });
  {
    std::lock_guard lock(d.lock);
    d.state = DialState{};
    d.facility = std::move(facility);
    d.window = window != nullptr ? window->target() : 0;
    d.closing = false;
  }
  d.control = &control;
  d.window_object = window;
  engine::SetLinkProvider(&g_link);
}

void HangUpDialer() {
  Dialer& d = TheDialer();
  platform::DialHandle handle;
  {
    std::lock_guard lock(d.lock);
    d.closing = true;
    handle = d.state.handle;
  }
  if (d.control != nullptr && d.window_object != nullptr) {
    d.control->RunAndWait([&] { d.window_object->GiveUp(); });
  }
  // The facility stays until UninstallDialer, so reading it outside the lock is safe here.
  WaitUntilGone(d.facility.get(), handle);
  std::lock_guard lock(d.lock);
  d.state.handle = 0;
  d.state.connected = 0;
}

void UninstallDialer() {
  Dialer& d = TheDialer();
  engine::SetLinkProvider(nullptr);
  DialerWindow* window = d.window_object;
  bool deleted = false;
  if (d.control != nullptr && window != nullptr) {
    d.control->RunAndWait([&] {
      delete window;
      deleted = true;
    });
  }
  // The control thread has ended: its targets went with it, so the object alone is left.
  if (!deleted) delete window;
  std::unique_ptr<platform::DialupFacility> facility;
  {
    std::lock_guard lock(d.lock);
    facility = std::move(d.facility);
    d.window = 0;
    d.state = DialState{};
  }
  d.control = nullptr;
  d.window_object = nullptr;
}

}  // namespace dialer
