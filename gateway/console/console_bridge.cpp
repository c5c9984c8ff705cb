// Posts from engine threads reach the Qt thread as one queued call per burst: the wake hook
// schedules a drain only when none is pending, and a drain takes a bounded batch, scheduling
// another when more remains, so a flood of notices never starves the Qt event loop.
#include "gateway/console/console_bridge.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <memory>
#include <mutex>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/session_registry.h"

namespace console {
namespace {

constexpr int kDrainBatch = 256;

}  // namespace

struct ConsoleBridge::WakeState : std::enable_shared_from_this<WakeState> {
  std::mutex mu;
  ConsoleBridge* bridge = nullptr;  // guarded by mu; cleared when the bridge goes
  QPointer<QObject> context;        // a Qt thread object the queued drain runs on
  std::atomic<bool> scheduled{false};

  // Any thread: schedules one drain on the Qt thread unless one is pending.
  void Schedule() {
    if (scheduled.exchange(true)) return;
    std::lock_guard lock(mu);
    if (bridge == nullptr || context.isNull()) return;
    QMetaObject::invokeMethod(
        context.data(),
        [self = shared_from_this()] {
          self->scheduled = false;
          // The bridge is destroyed only on this thread, so it cannot go while it drains.
          ConsoleBridge* target_bridge = nullptr;
          {
            std::lock_guard lock(self->mu);
            target_bridge = self->bridge;
          }
          if (target_bridge != nullptr) target_bridge->Drain();
        },
        Qt::QueuedConnection);
  }
};

void FreeNoticeOf(const platform::Message& msg) {
  if (msg.message == engine::kMsgSessionAdded || msg.message == engine::kMsgSessionRemoved) {
    delete reinterpret_cast<engine::SessionNotice*>(msg.lparam);
  }
}

ConsoleBridge::ConsoleBridge(std::function<void(const platform::Message&)> handler)
    : wake_(std::make_shared<WakeState>()), handler_(std::move(handler)) {
  wake_->bridge = this;
  wake_->context = QCoreApplication::instance();
  target_ = platform::CreateTarget([this](const platform::Message& msg) {
    if (handler_) {
      handler_(msg);
    } else {
      FreeNoticeOf(msg);
    }
  });
  std::weak_ptr<WakeState> weak = wake_;
  platform::SetQueueWakeHook([weak] {
    if (auto state = weak.lock()) state->Schedule();
  });
  // Posts made before the hook existed are waiting already.
  wake_->Schedule();
}

ConsoleBridge::~ConsoleBridge() {
  platform::SetQueueWakeHook({});
  {
    std::lock_guard lock(wake_->mu);
    wake_->bridge = nullptr;
  }
  platform::DestroyTarget(target_);
  // Whatever is still queued for the gone target is dropped; notices are freed.
  platform::Message msg;
  for (int i = 0; i < 100000 && platform::PeekMessage(&msg, true); ++i) {
    if (msg.target == target_) FreeNoticeOf(msg);
  }
}

void ConsoleBridge::Drain() {
  platform::Message msg;
  for (int i = 0; i < kDrainBatch; ++i) {
    if (!platform::PeekMessage(&msg, true)) return;
    if (!platform::DispatchMessage(msg)) FreeNoticeOf(msg);
  }
  wake_->Schedule();
}

}  // namespace console
