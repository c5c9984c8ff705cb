// Posted and thread messages, ordering across threads, timers, target lifetime.
#include "platform/message_queue.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/queue_probe.h"

namespace platform {
namespace {

constexpr unsigned kMsgA = kWmUser + 1;
constexpr unsigned kMsgB = kWmUser + 2;

TEST(MessageQueue, PostedMessagesArriveInOrderWithTheirParameters) {
  TargetId target = CreateTarget();
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(PostMessage(target, kMsgA, i, -i));
  for (int i = 0; i < 100; ++i) {
    Message msg;
    ASSERT_TRUE(GetMessage(&msg));
    EXPECT_EQ(msg.target, target);
    EXPECT_EQ(msg.message, kMsgA);
    EXPECT_EQ(msg.wparam, static_cast<Wparam>(i));
    EXPECT_EQ(msg.lparam, -i);
  }
  Message none;
  EXPECT_FALSE(PeekMessage(&none, true));
  DestroyTarget(target);
}

TEST(MessageQueue, EachSenderThreadKeepsItsOwnOrder) {
  TargetId target = CreateTarget();
  constexpr int kSenders = 8, kEach = 500;
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([=] {
      for (int i = 0; i < kEach; ++i) PostMessage(target, kMsgA, s, i);
    });
  }
  std::vector<int> next(kSenders, 0);
  for (int n = 0; n < kSenders * kEach; ++n) {
    Message msg;
    ASSERT_TRUE(GetMessage(&msg));
    ASSERT_EQ(msg.lparam, next[msg.wparam]++);
  }
  for (auto& t : senders) t.join();
  DestroyTarget(target);
}

TEST(MessageQueue, ThreadMessagesReachTheWaitingThread) {
  std::atomic<ThreadId> receiver{0};
  std::atomic<int> got{0};
  std::thread t([&] {
    receiver = CurrentThreadId();
    Message msg;
    while (GetMessage(&msg)) {
      if (msg.message == kMsgB && msg.target == 0) {
        got = static_cast<int>(msg.wparam);
        PostQuitMessage(0);
      }
    }
  });
  while (receiver == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(PostThreadMessage(receiver, kMsgB, 42, 0));
  t.join();
  EXPECT_EQ(got, 42);
  EXPECT_FALSE(PostThreadMessage(receiver, kMsgB, 0, 0)) << "an ended thread has no queue";
}

TEST(MessageQueue, DestroyedTargetRefusesPostsAndEndedThreadDropsItsTargets) {
  TargetId mine = CreateTarget();
  EXPECT_TRUE(DestroyTarget(mine));
  EXPECT_FALSE(PostMessage(mine, kMsgA, 0, 0));
  EXPECT_FALSE(DestroyTarget(mine));

  TargetId theirs = 0;
  std::thread([&] { theirs = CreateTarget(); }).join();
  EXPECT_FALSE(IsTarget(theirs));
  EXPECT_FALSE(PostMessage(theirs, kMsgA, 0, 0));
}

TEST(MessageQueue, TimerRepeatsUntilKilledAndComesAfterPostedMessages) {
  TargetId target = CreateTarget();
  ASSERT_TRUE(SetTimer(target, 7, 20));
  PostMessage(target, kMsgA, 0, 0);
  Message msg;
  ASSERT_TRUE(GetMessage(&msg));
  EXPECT_EQ(msg.message, kMsgA);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(GetMessage(&msg));
    EXPECT_EQ(msg.message, kWmTimer);
    EXPECT_EQ(msg.wparam, 7u);
  }
  EXPECT_TRUE(KillTimer(target, 7));
  EXPECT_FALSE(KillTimer(target, 7));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(PeekMessage(&msg, true)) << "a killed timer posts nothing";
  DestroyTarget(target);
}

TEST(MessageQueue, WaitMessageLeavesTheMessageForGetMessage) {
  TargetId target = CreateTarget();
  const ThreadId self = CurrentThreadId();
  std::thread poster([&] {
    // Posts only once this thread is asleep in WaitMessage.
    for (int i = 0; i < 10000 && !ThreadIsWaiting(self); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    PostMessage(target, kMsgB, 5, 0);
  });
  WaitMessage();
  Message msg;
  ASSERT_TRUE(PeekMessage(&msg, true));
  EXPECT_EQ(msg.message, kMsgB);
  poster.join();
  DestroyTarget(target);
}

TEST(MessageQueue, QuitEndsGetMessageAfterQueuedMessages) {
  TargetId target = CreateTarget();
  PostMessage(target, kMsgA, 1, 0);
  PostQuitMessage(3);
  Message msg;
  EXPECT_TRUE(GetMessage(&msg));
  EXPECT_FALSE(GetMessage(&msg));
  EXPECT_EQ(msg.message, kWmQuit);
  EXPECT_EQ(msg.wparam, 3u);
  DestroyTarget(target);
}

TEST(MessageQueue, DispatchRunsTheTargetHandler) {
  int seen = 0;
  TargetId target = CreateTarget([&](const Message& m) { seen = static_cast<int>(m.wparam); });
  PostMessage(target, kMsgA, 9, 0);
  Message msg;
  ASSERT_TRUE(GetMessage(&msg));
  EXPECT_TRUE(DispatchMessage(msg));
  EXPECT_EQ(seen, 9);
  DestroyTarget(target);
}

TEST(MessageQueue, ManyThreadsEachWithTheirOwnQueue) {
  constexpr int kThreads = 64;
  std::atomic<int> done{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      TargetId t = CreateTarget();
      for (int n = 0; n < 50; ++n) PostMessage(t, kMsgA, i, n);
      Message msg;
      int count = 0;
      while (count < 50 && GetMessage(&msg)) {
        if (msg.wparam == static_cast<Wparam>(i)) ++count;
      }
      if (count == 50) ++done;
      DestroyTarget(t);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(done, kThreads);
}

// A pooled thread runs one queue after another. Each must be woken while it sleeps, whatever
// the queue before it left behind, and the sockets an ended queue selected are no longer its.
TEST(MessageQueue, ThreadRunningQueueAfterQueueIsWokenInEach) {
  constexpr int kQueues = 5;
  std::atomic<ThreadId> current{0};
  std::atomic<int> woken{0};
  int sockets[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
  std::thread pooled([&] {
    std::vector<int> opened;  // descriptors the thread's sessions open between queues
    for (int q = 0; q < kQueues; ++q) {
      ThreadId id = 0;
      AdoptThreadQueue(PrepareThreadQueue(&id));
      TargetId target = CreateTarget();
      // Every queue selects the same socket number, as sessions reusing a closed number do.
      if (AsyncSelect(sockets[0], target, kMsgA, kFdRead) != 0) return;
      current = id;
      Message msg;
      while (GetMessage(&msg)) {
        if (msg.target == 0 && msg.message == kMsgB) break;
      }
      current = 0;
      ReleaseThreadQueue();
      int fds[2];
      if (pipe(fds) == 0) opened.insert(opened.end(), {fds[0], fds[1]});
      ++woken;
    }
    for (int fd : opened) close(fd);
  });
  for (int q = 0; q < kQueues; ++q) {
    ThreadId id = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((id = current.load()) == 0 || !ThreadIsWaiting(id)) {
      ASSERT_LT(std::chrono::steady_clock::now(), until) << "queue " << q << " never waited";
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(PostThreadMessage(id, kMsgB, 0, 0));
    until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (woken.load() == q) {
      ASSERT_LT(std::chrono::steady_clock::now(), until) << "queue " << q << " was not woken";
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  pooled.join();
  EXPECT_EQ(woken, kQueues);
  // The last queue ended with the socket selected; a new selection here is this thread's.
  TargetId mine = CreateTarget();
  ASSERT_EQ(AsyncSelect(sockets[0], mine, kMsgA, kFdRead), 0);
  ASSERT_EQ(send(sockets[1], "x", 1, 0), 1);
  Message msg;
  ASSERT_TRUE(GetMessageWithin(&msg, 5000));
  EXPECT_EQ(msg.target, mine);
  EXPECT_EQ(SelectEvent(msg.lparam), kFdRead);
  AsyncSelect(sockets[0], mine, 0, 0);
  DestroyTarget(mine);
  close(sockets[0]);
  close(sockets[1]);
}

// A thread that could not get a wake descriptor (the process ran out of them) still takes a
// message posted from another thread, within a short while rather than never.
TEST(MessageQueue, PostReachesAThreadThatHasNoWakeDescriptor) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The undefined-behaviour checker of the sanitizer builds needs a pipe the first time it
    // checks a type: one queue's round trip is made while descriptors are plenty, the waiting
    // thread starts before they run out and ends after they are back.
    std::thread([] {
      PostThreadMessage(CurrentThreadId(), kMsgA, 0, 0);
      Message msg;
      (void)GetMessage(&msg);
    }).join();
    std::atomic<bool> started{false}, exhausted{false}, got{false}, restored{false};
    std::atomic<ThreadId> waiter{0};
    std::thread t([&] {
      started = true;
      while (!exhausted) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      waiter = CurrentThreadId();
      Message msg;
      got = GetMessage(&msg) && msg.message == kMsgB;
      while (!restored) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<int> taken;
    taken.reserve(64);
    rlimit few{64, 64};
    if (setrlimit(RLIMIT_NOFILE, &few) != 0) _exit(3);
    for (int fd; (fd = dup(0)) >= 0;) taken.push_back(fd);
    exhausted = true;
    while (waiter == 0 || !ThreadIsWaiting(waiter)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    PostThreadMessage(waiter, kMsgB, 0, 0);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!got && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (int fd : taken) close(fd);
    restored = true;
    t.join();
    _exit(got ? 0 : 4);
  }
  int status = -1;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      FAIL() << "the message never reached the thread";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace platform
