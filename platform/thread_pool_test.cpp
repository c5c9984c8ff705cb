// The reserve of parked threads: a job handed to a parked thread runs, jobs that arrive while
// every parked thread is busy get threads of their own, and none is lost either way.
#include "platform/thread_pool.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "platform/worker_thread.h"

namespace platform {
namespace {

// Counts finished jobs and the threads they ran on; jobs may be held until released.
struct Jobs {
  std::mutex mu;
  std::condition_variable changed;
  int started = 0;
  int finished = 0;
  bool hold = false;
  std::set<pthread_t> threads;

  static void Run(void* raw) {
    auto* jobs = static_cast<Jobs*>(raw);
    std::unique_lock lock(jobs->mu);
    ++jobs->started;
    jobs->threads.insert(pthread_self());
    jobs->changed.notify_all();
    jobs->changed.wait_for(lock, std::chrono::seconds(20), [&] { return !jobs->hold; });
    ++jobs->finished;
    jobs->changed.notify_all();
  }
  bool WaitFor(int* counter, int value) {
    std::unique_lock lock(mu);
    return changed.wait_for(lock, std::chrono::seconds(20), [&] { return *counter >= value; });
  }
};

TEST(ThreadPool, JobsOneAfterAnotherAndAllAtOnceEveryOneRuns) {
  static Jobs jobs;  // outlives the pooled threads that still touch it after their last job
  // One after another: from the second on, each finds the previous job's thread parked or
  // about to park.
  constexpr int kSequential = 50;
  for (int i = 1; i <= kSequential; ++i) {
    ASSERT_TRUE(RunOnPooledThread(&Jobs::Run, &jobs, kSessionStackBytes));
    ASSERT_TRUE(jobs.WaitFor(&jobs.finished, i)) << "job " << i << " never ran";
  }
  EXPECT_LT(jobs.threads.size(), static_cast<size_t>(kSequential)) << "no thread was reused";
  // All at once, each held until every one has started: each needs a thread of its own.
  constexpr int kAtOnce = 2 * kMaxParked;
  {
    std::lock_guard lock(jobs.mu);
    jobs.hold = true;
  }
  for (int i = 0; i < kAtOnce; ++i) {
    ASSERT_TRUE(RunOnPooledThread(&Jobs::Run, &jobs, kSessionStackBytes));
  }
  EXPECT_TRUE(jobs.WaitFor(&jobs.started, kSequential + kAtOnce));
  {
    std::lock_guard lock(jobs.mu);
    jobs.hold = false;
    jobs.changed.notify_all();
  }
  EXPECT_TRUE(jobs.WaitFor(&jobs.finished, kSequential + kAtOnce));
}

// A job may leave its successor to its own thread: the successor runs there, after the job
// has returned, and a thread that is not pooled cannot take one.
TEST(ThreadPool, SuccessorLeftByAJobRunsOnItsThreadAfterIt) {
  struct Chain {
    std::mutex mu;
    std::condition_variable changed;
    pthread_t first{}, second{};
    bool first_returned = false;
    bool second_saw_first_returned = false;
    bool left = false;
    bool done = false;
  };
  static Chain chain;  // outlives the pooled thread
  auto second = [](void*) {
    std::lock_guard lock(chain.mu);
    chain.second = pthread_self();
    chain.second_saw_first_returned = chain.first_returned;
    chain.done = true;
    chain.changed.notify_all();
  };
  auto first = [](void* next) {
    bool left = RunNextOnThisThread(reinterpret_cast<void (*)(void*)>(next), nullptr);
    bool twice = RunNextOnThisThread(reinterpret_cast<void (*)(void*)>(next), nullptr);
    std::lock_guard lock(chain.mu);
    chain.first = pthread_self();
    chain.left = left && !twice;
    chain.first_returned = true;
  };
  void (*second_fn)(void*) = second;
  ASSERT_TRUE(RunOnPooledThread(first, reinterpret_cast<void*>(second_fn), kSessionStackBytes));
  std::unique_lock lock(chain.mu);
  ASSERT_TRUE(chain.changed.wait_for(lock, std::chrono::seconds(20), [] { return chain.done; }));
  EXPECT_TRUE(chain.left) << "one successor is taken, a second is refused";
  EXPECT_TRUE(pthread_equal(chain.first, chain.second));
  EXPECT_TRUE(chain.second_saw_first_returned);
  EXPECT_FALSE(RunNextOnThisThread(second_fn, nullptr)) << "the test thread is not pooled";
}

}  // namespace
}  // namespace platform
