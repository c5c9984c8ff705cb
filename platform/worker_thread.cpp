// Thread start, the default message loop and the auto-delete ending of WorkerThread.
#include "platform/worker_thread.h"

#include "platform/thread_pool.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>

namespace platform {
namespace {

std::mutex g_live_mu;
std::condition_variable g_live_cv;
int g_live = 0;

}  // namespace


WorkerThread::~WorkerThread() = default;

bool WorkerThread::CreateThread(size_t stack_bytes) { return Launch(stack_bytes, false); }

bool WorkerThread::CreateThreadAfterThisOne() {
  return auto_delete_ && Launch(kSessionStackBytes, true);
}

bool WorkerThread::Launch(size_t stack_bytes, bool on_this_thread) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stack_bytes);
  joinable_ = !auto_delete_;
  pthread_attr_setdetachstate(&attr, auto_delete_ ? PTHREAD_CREATE_DETACHED : PTHREAD_CREATE_JOINABLE);
  {
    std::lock_guard lock(g_live_mu);
    ++g_live;
  }
  ThreadId id = 0;
  prepared_queue_ = PrepareThreadQueue(&id);
  thread_id_.store(id, std::memory_order_release);
  int rc = 0;
  auto main = [](void* self) { static_cast<WorkerThread*>(self)->Main(); };
  if (on_this_thread && RunNextOnThisThread(main, this)) {
    rc = 0;
  } else if (auto_delete_ && stack_bytes == kSessionStackBytes) {
    // Auto-deleting session threads are never joined: a parked thread can run them.
    rc = RunOnPooledThread(main, this, stack_bytes) ? 0 : -1;
  } else {
    rc = pthread_create(&handle_, &attr, &WorkerThread::Entry, this);
  }
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    DiscardThreadQueue(prepared_queue_);
    prepared_queue_ = nullptr;
    thread_id_.store(0);
    std::lock_guard lock(g_live_mu);
    --g_live;
    g_live_cv.notify_all();
    joinable_ = false;
    return false;
  }
  // The queue was made here, so the id is valid now and posts wait for the thread.
  return true;
}

void* WorkerThread::Entry(void* self) {
  static_cast<WorkerThread*>(self)->Main();
  return nullptr;
}

void WorkerThread::Main() {
  bool auto_delete = auto_delete_;
  AdoptThreadQueue(prepared_queue_);
  prepared_queue_ = nullptr;
  ThreadId id = thread_id_.load(std::memory_order_acquire);
  int code = 0;
  try {
    code = InitInstance() ? Run() : ExitInstance();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Wayfarer: thread %u ended by an error: %s\n", id, e.what());
    code = -1;
  }
  exit_code_ = code;
  if (auto_delete) delete this;
  ReleaseThreadQueue();
  std::lock_guard lock(g_live_mu);
  --g_live;
  g_live_cv.notify_all();
}

int WorkerThread::Join() {
  if (!joinable_) return exit_code_;
  pthread_join(handle_, nullptr);
  joinable_ = false;
  return exit_code_;
}

int WorkerThread::LiveCount() {
  std::lock_guard lock(g_live_mu);
  return g_live;
}

bool WorkerThread::WaitForAll(int timeout_ms) {
  std::unique_lock lock(g_live_mu);
  return g_live_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), [] { return g_live == 0; });
}

int WorkerThread::Run() {
  Message msg;
  bool idle = true;
  long idle_count = 0;
  for (;;) {
    while (idle && !PeekMessage(&msg, false)) {
      if (!OnIdle(idle_count++)) idle = false;
    }
    do {
      if (!GetMessage(&msg)) return ExitInstance();
      if (!PreTranslateMessage(msg)) DispatchMessage(msg);
      idle = true;
      idle_count = 0;
    } while (PeekMessage(&msg, false));
  }
}

bool WorkerThread::PreTranslateMessage(Message&) { return false; }
bool WorkerThread::OnIdle(long) { return false; }

}  // namespace platform
