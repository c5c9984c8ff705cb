// Parked threads wait on their own semaphore for the next job: handing a job over costs the
// starter one wake-up and the parked thread no lock. The pool lock guards the list of parked
// threads; a thread's job slot is written by the starter that took it off that list, before
// the post that wakes it.
#include "platform/thread_pool.h"

#include <pthread.h>
#include <semaphore.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <vector>

namespace platform {
namespace {

struct PooledThread {
  PooledThread() { sem_init(&ready, 0, 0); }
  ~PooledThread() { sem_destroy(&ready); }
  sem_t ready;                   // posted once per job handed over
  void (*job)(void*) = nullptr;  // written before the post, read after the wait
  void* arg = nullptr;
};

// Never destroyed: parked threads may still use them while the process exits.
std::mutex& g_pool_mu = *new std::mutex;
std::vector<PooledThread*>& g_parked = *new std::vector<PooledThread*>;  // guarded by g_pool_mu

thread_local PooledThread* t_pooled = nullptr;  // the calling thread's own entry, if pooled

// Parks self; false when the pool is full (the thread then ends).
bool Park(PooledThread* self) {
  std::lock_guard lock(g_pool_mu);
  if (static_cast<int>(g_parked.size()) >= kMaxParked) return false;
  g_parked.push_back(self);
  return true;
}

// Waits about kParkSeconds for the post; false when it did not come. (The wall clock bounds
// the wait: a clock step only makes a parked thread leave the pool early or late.)
bool WaitForPost(PooledThread* self) {
  timespec until{};
  clock_gettime(CLOCK_REALTIME, &until);
  until.tv_sec += kParkSeconds;
  for (;;) {
    if (sem_timedwait(&self->ready, &until) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// Waits for the next job. False when none came in time and the thread left the pool.
bool AwaitJob(PooledThread* self) {
  if (WaitForPost(self)) return true;
  {
    std::lock_guard pool(g_pool_mu);
    auto it = std::find(g_parked.begin(), g_parked.end(), self);
    if (it != g_parked.end()) {
      g_parked.erase(it);
      return false;
    }
  }
  // Taken off the list by a starter whose post is on its way: it comes without fail.
  while (sem_wait(&self->ready) != 0) {
  }
  return true;
}

void* PoolMain(void* raw) {
  auto* self = static_cast<PooledThread*>(raw);
  t_pooled = self;
  for (;;) {
    void (*job)(void*) = self->job;
    void* arg = self->arg;
    self->job = nullptr;
    job(arg);
    if (self->job) continue;  // the job left its successor to this thread
    if (!Park(self) || !AwaitJob(self)) break;
  }
  delete self;
  return nullptr;
}

}  // namespace

bool RunNextOnThisThread(void (*job)(void*), void* arg) {
  // Nobody else writes the slot of a thread that is running a job: it is off the parked list.
  PooledThread* self = t_pooled;
  if (!self || self->job) return false;
  self->job = job;
  self->arg = arg;
  return true;
}

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
    parked->job = job;
    parked->arg = arg;
    sem_post(&parked->ready);
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
