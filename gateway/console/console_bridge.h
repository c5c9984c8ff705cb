// The bridge that carries engine posts into the console's Qt event loop. It owns one message
// target on the Qt thread; a post to it wakes Qt through the queue's wake hook, and a queued
// Qt call drains the thread's queue with PeekMessage. Created, used and destroyed on the Qt
// thread only; target() may be handed to any thread to post to.
#pragma once

#include <functional>
#include <memory>

#include "platform/message_queue.h"

class QObject;

namespace console {

class ConsoleBridge {
 public:
  // handler runs on the Qt thread for every message posted to target(). A message it does not
  // take (no handler left) that carries a SessionNotice is freed by the bridge.
  explicit ConsoleBridge(std::function<void(const platform::Message&)> handler);
  ~ConsoleBridge();
  ConsoleBridge(const ConsoleBridge&) = delete;
  ConsoleBridge& operator=(const ConsoleBridge&) = delete;

  [[nodiscard]] platform::TargetId target() const { return target_; }
  // Dispatches what is queued now (at most one bounded batch); the queued Qt call uses it.
  void Drain();

 private:
  struct WakeState;
  std::shared_ptr<WakeState> wake_;
  std::function<void(const platform::Message&)> handler_;
  platform::TargetId target_ = 0;
};

// Frees the SessionNotice a console message carries, when it carries one.
void FreeNoticeOf(const platform::Message& msg);

}  // namespace console
