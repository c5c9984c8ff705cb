// WorkerThread's life cycle and the resumable wait.
#include "platform/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/resumable_wait.h"

namespace platform {
namespace {

struct Probe {
  std::atomic<int> idle_calls{0};
  std::atomic<int> handled{0};
  std::atomic<bool> exited{false};
  std::atomic<bool> destroyed{false};
};

class ProbeThread : public WorkerThread {
 public:
  ProbeThread(Probe* probe, bool init_ok) : probe_(probe), init_ok_(init_ok) {}
  ~ProbeThread() override { probe_->destroyed = true; }

 protected:
  bool InitInstance() override { return init_ok_; }
  bool OnIdle(long count) override {
    ++probe_->idle_calls;
    return count < 2;  // three idle calls per idle period
  }
  bool PreTranslateMessage(Message& msg) override {
    if (msg.message == kWmUser + 99) PostQuitMessage(0);
    ++probe_->handled;
    return true;
  }
  int ExitInstance() override {
    probe_->exited = true;
    return 7;
  }

 private:
  Probe* probe_;
  bool init_ok_;
};

TEST(WorkerThread, RunsIdleThenMessagesThenExitsOnQuit) {
  Probe probe;
  auto* t = new ProbeThread(&probe, true);
  t->set_auto_delete(false);
  ASSERT_TRUE(t->CreateThread());
  ASSERT_NE(t->thread_id(), 0u);
  for (int i = 0; i < 500 && probe.idle_calls < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(probe.idle_calls, 3) << "OnIdle runs until it returns false, then the thread sleeps";
  ASSERT_TRUE(PostThreadMessage(t->thread_id(), kWmUser + 1, 0, 0));
  ASSERT_TRUE(PostThreadMessage(t->thread_id(), kWmUser + 99, 0, 0));
  EXPECT_EQ(t->Join(), 7);
  EXPECT_TRUE(probe.exited);
  EXPECT_EQ(probe.handled, 2);
  delete t;
}

TEST(WorkerThread, FailedInitGoesStraightToExitAndAutoDeletes) {
  Probe probe;
  auto* t = new ProbeThread(&probe, false);
  ASSERT_TRUE(t->CreateThread());
  ASSERT_TRUE(WorkerThread::WaitForAll(5000));
  EXPECT_TRUE(probe.exited);
  EXPECT_TRUE(probe.destroyed);
  EXPECT_EQ(probe.handled, 0);
}

TEST(WorkerThread, ThousandSmallStackThreadsRunAtOnce) {
  constexpr int kThreads = 1000;
  Probe probe;
  std::vector<ThreadId> ids;
  for (int i = 0; i < kThreads; ++i) {
    auto* t = new ProbeThread(&probe, true);
    ASSERT_TRUE(t->CreateThread()) << "thread " << i;
    ids.push_back(t->thread_id());
  }
  EXPECT_EQ(WorkerThread::LiveCount(), kThreads);
  for (ThreadId id : ids) ASSERT_TRUE(PostThreadMessage(id, kWmUser + 99, 0, 0));
  ASSERT_TRUE(WorkerThread::WaitForAll(30000));
  EXPECT_EQ(probe.handled, kThreads);
}

TEST(ResumableWait, ResumeBeforeTheWaitIsNotLost) {
  ThreadId self = CurrentThreadId();
  ResumeThread(self);
  EXPECT_TRUE(WaitForResume(1000));
  EXPECT_FALSE(WaitForResume(20)) << "one resume releases one wait";
}

TEST(ResumableWait, WaitingThreadIsReleasedByAnother) {
  std::atomic<ThreadId> waiter{0};
  std::atomic<bool> resumed{false};
  std::thread t([&] {
    waiter = CurrentThreadId();
    resumed = WaitForResume(10000);
  });
  while (waiter == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ResumeThread(waiter);
  t.join();
  EXPECT_TRUE(resumed);
}

}  // namespace
}  // namespace platform
