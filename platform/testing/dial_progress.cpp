// The bound of a wait is a timer on the same target, so GetMessage never blocks for ever.
#include "platform/testing/dial_progress.h"

namespace platform::testing {
namespace {
constexpr uintptr_t kDeadlineTimer = 0xD1A1;
}

DialProgress::DialProgress() : target_(CreateTarget()) {}

DialProgress::~DialProgress() { DestroyTarget(target_); }

bool DialProgress::WaitForState(int state, int timeout_ms) {
  SetTimer(target_, kDeadlineTimer, static_cast<unsigned>(timeout_ms));
  Message msg;
  bool found = false;
  while (!found && GetMessage(&msg)) {
    if (msg.message == kWmTimer && msg.wparam == kDeadlineTimer) break;
    if (msg.message != kDialEventMessage) continue;
    states_.push_back(static_cast<int>(msg.wparam));
    if (msg.wparam == kDialDisconnected) last_error_ = msg.lparam;
    found = static_cast<int>(msg.wparam) == state;
  }
  KillTimer(target_, kDeadlineTimer);
  return found;
}

void DialProgress::Drain() {
  Message msg;
  while (PeekMessage(&msg, true)) {
    if (msg.message != kDialEventMessage) continue;
    states_.push_back(static_cast<int>(msg.wparam));
    if (msg.wparam == kDialDisconnected) last_error_ = msg.lparam;
  }
}

}  // namespace platform::testing
