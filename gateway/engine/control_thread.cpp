// Work handed to the control thread travels as a thread message carrying a pointer to a
// task that lives on the sender's stack until the control thread has signalled it.
#include "gateway/engine/control_thread.h"

#include <condition_variable>
#include <mutex>

namespace engine {
namespace {

constexpr unsigned kMsgRunTask = platform::kWmUser + 200;
constexpr unsigned kMsgStop = platform::kWmUser + 201;

struct Task {
  const std::function<void()>* fn = nullptr;
  std::mutex mu;
  std::condition_variable cv;
  bool done = false;
};

}  // namespace

bool ControlThread::Start() {
  set_auto_delete(false);
  return CreateThread(512 * 1024);
}

void ControlThread::RunAndWait(const std::function<void()>& fn) {
  Task task;
  task.fn = &fn;
  if (!platform::PostThreadMessage(thread_id(), kMsgRunTask, 0,
                                   reinterpret_cast<platform::Lparam>(&task))) {
    return;
  }
  std::unique_lock lock(task.mu);
  task.cv.wait(lock, [&] { return task.done; });
}

void ControlThread::Stop() {
  if (platform::PostThreadMessage(thread_id(), kMsgStop, 0, 0)) Join();
}

bool ControlThread::PreTranslateMessage(platform::Message& msg) {
  if (msg.target != 0) return false;  // a target's own message: its handler runs it
  if (msg.message == kMsgStop) {
    platform::PostQuitMessage(0);
    return true;
  }
  if (msg.message == kMsgRunTask) {
    auto* task = reinterpret_cast<Task*>(msg.lparam);
    (*task->fn)();
    std::lock_guard lock(task->mu);
    task->done = true;
    task->cv.notify_one();
    return true;
  }
  return false;
}

}  // namespace engine
