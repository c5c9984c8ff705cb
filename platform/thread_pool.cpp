// Parked threads wait on their own condition for the next job; the pool lock guards the list
// of parked threads, each thread's lock its job slot.
#include "platform/thread_pool.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace platform {
namespace {

struct PooledThread {
  std::mutex mu;
  std::condition_variable cv;
  void (*job)(void*) = nullptr;  // guarded by mu
  void* arg = nullptr;
};

// Never destroyed: parked threads may still use them while the process exits.
std::mutex& g_pool_mu = *new std::mutex;
std::vector<PooledThread*>& g_parked = *new std::vector<PooledThread*>;  // guarded by g_pool_mu

// Parks self; false when the pool is full (the thread then ends).
bool Park(PooledThread* self) {
  std::lock_guard lock(g_pool_mu);
  if (static_cast<int>(g_parked.size()) >= kMaxParked) return false;
  g_parked.push_back(self);
  return true;
}

// Waits for the next job. False when none came in time and the thread left the pool.
bool AwaitJob(PooledThread* self) {
  std::unique_lock lock(self->mu);
  for (;;) {
    if (self->cv.wait_for(lock, std::chrono::seconds(kParkSeconds), [&] { return self->job; })) {
      return true;
    }
    std::lock_guard pool(g_pool_mu);
    auto it = std::find(g_parked.begin(), g_parked.end(), self);
    if (it != g_parked.end()) {
      g_parked.erase(it);
      return false;
    }
    // Taken off the list by a starter whose job is on its way: keep waiting for it.
  }
}

void* PoolMain(void* raw) {
  auto* self = static_cast<PooledThread*>(raw);
  for (;;) {
    void (*job)(void*);
    void* arg;
    {
      std::lock_guard lock(self->mu);
      job = self->job;
      arg = self->arg;
      self->job = nullptr;
    }
    job(arg);
    if (!Park(self) || !AwaitJob(self)) break;
  }
  delete self;
  return nullptr;
}

}  // namespace

bool RunOnPooledThread(void (*job)(void*), void* arg, unsigned long stack_bytes) {
  PooledThread* parked = nullptr;
  {
    std::lock_guard lock(g_pool_mu);
    if (!g_parked.empty()) {
      parked = g_parked.back();
      g_parked.pop_back();
    }
  }
  if (parked) {
    {
      std::lock_guard lock(parked->mu);
      parked->job = job;
      parked->arg = arg;
    }
    parked->cv.notify_one();
    return true;
  }
  auto* fresh = new PooledThread;
  fresh->job = job;
  fresh->arg = arg;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stack_bytes);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t handle;
  int rc = pthread_create(&handle, &attr, &PoolMain, fresh);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete fresh;
    return false;
  }
  return true;
}

}  // namespace platform
