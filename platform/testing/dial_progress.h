// Test helper: a message target on the calling thread that collects the dial-up facility's
// progress messages, with every wait bounded. Used only by the thread that made it.
#pragma once

#include <vector>

#include "platform/dialup_facility.h"

namespace platform::testing {

class DialProgress {
 public:
  DialProgress();
  ~DialProgress();
  DialProgress(const DialProgress&) = delete;
  DialProgress& operator=(const DialProgress&) = delete;

  [[nodiscard]] TargetId target() const { return target_; }
  // Takes messages until state arrives (true) or timeout_ms passes (false).
  bool WaitForState(int state, int timeout_ms = 10000);
  // Takes the messages already queued, without waiting.
  void Drain();
  [[nodiscard]] const std::vector<int>& states() const { return states_; }
  // lParam of the last disconnected message, 0 when none came.
  [[nodiscard]] long last_error() const { return last_error_; }

 private:
  TargetId target_;
  std::vector<int> states_;
  long last_error_ = 0;
};

}  // namespace platform::testing
