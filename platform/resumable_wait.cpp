// One counting event per thread that has been resumed or is waiting; the entry is dropped
// when its wait consumes the last resume.
#include "platform/resumable_wait.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

std::mutex g_mu;
std::condition_variable g_cv;
std::unordered_map<ThreadId, int> g_pending;  // guarded by g_mu: resumes not yet consumed

}  // namespace

bool WaitForResume(int timeout_ms) {
  ThreadId self = CurrentThreadId();
  std::unique_lock lock(g_mu);
  auto resumed = [&] { return g_pending.count(self) > 0; };
  if (timeout_ms < 0) {
    g_cv.wait(lock, resumed);
  } else if (!g_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), resumed)) {
    return false;
  }
  if (--g_pending[self] == 0) g_pending.erase(self);
  return true;
}

void ResumeThread(ThreadId thread) {
  {
    std::lock_guard lock(g_mu);
    ++g_pending[thread];
  }
  g_cv.notify_all();
}

}  // namespace platform
