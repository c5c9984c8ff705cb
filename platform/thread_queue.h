// The message queue of one thread: posted messages, timers and the sockets selected for the
// thread's targets, and the wait in poll() that turns socket readiness into messages under
// AsyncSelect's rules. Private to the message layer. Thread-safe: every member is guarded by
// mu_; only the owning thread waits in Next.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/message_queue.h"

struct pollfd;

namespace platform::detail {

using Clock = std::chrono::steady_clock;

struct Timer {
  TargetId target;
  uintptr_t id;
  std::chrono::milliseconds period;
  Clock::time_point due;
};

struct SocketWatch {
  TargetId target = 0;
  unsigned message = 0;
  long events = 0;
  bool listener = false;
  bool datagram = false;
  bool read_armed = true;
  bool accept_armed = true;
  bool close_sent = false;
  bool parked = false;        // no read-side event to watch until a re-enabling call
  bool write_wanted = false;  // a send would have blocked: FD_WRITE when room comes back
  uint64_t generation = 0;
};

class ThreadQueue {
 public:
  explicit ThreadQueue(ThreadId id) : id_(id) {}
  ThreadQueue(const ThreadQueue&) = delete;
  ThreadQueue& operator=(const ThreadQueue&) = delete;

  ThreadId id() const { return id_; }

  void Post(const Message& msg) {
    std::function<void()> hook;
    {
      std::lock_guard lock(mu_);
      posted_.push_back(msg);
      hook = wake_hook_;
      WakeLocked();
    }
    if (hook) hook();
  }
  void Quit(int code) {
    std::lock_guard lock(mu_);
    quit_ = true;
    quit_code_ = code;
  }
  void SetWakeHook(std::function<void()> hook) {
    std::lock_guard lock(mu_);
    wake_hook_ = std::move(hook);
  }

  // Waits up to timeout (-1: for ever) for a message; takes it when remove is set.
  bool Next(Message* out, bool remove, int timeout_ms);

  void SetTimer(TargetId target, uintptr_t id, unsigned period_ms);
  bool KillTimer(TargetId target, uintptr_t id);
  void DropTarget(TargetId target);

  int Select(int socket, TargetId target, unsigned message, long events, int* error);
  void Forget(int socket);
  void NoteCall(int socket);
  void NoteSendBlocked(int socket);
  // True while the owner sleeps in poll() for lack of a message.
  bool Sleeping() {
    std::lock_guard lock(mu_);
    return sleeping_;
  }

 private:
  bool TakeReadyLocked(Message* out, bool remove);
  void WakeLocked() {
    if (sleeping_ && event_fd_ >= 0) {
      uint64_t one = 1;
      [[maybe_unused]] ssize_t n = write(event_fd_, &one, sizeof one);
    }
  }
  int PollTimeoutLocked(int timeout_ms) const;
  void BuildPollSetLocked(std::vector<pollfd>* fds, std::vector<std::pair<int, uint64_t>>* keys);
  void HandleRevents(int socket, short requested, short revents);
  bool DropSocketEventsLocked(int socket);

  const ThreadId id_;
  // The owning thread's wake descriptor (one per thread, kept across the queues it runs, so a
  // session does not pay for making and closing one); set at the owner's first wait.
  int event_fd_ = -1;
  std::mutex mu_;
  std::deque<Message> posted_;
  std::vector<Timer> timers_;
  std::unordered_map<int, SocketWatch> sockets_;
  uint64_t next_generation_ = 1;
  bool sleeping_ = false;
  bool quit_ = false;
  int quit_code_ = 0;
  std::function<void()> wake_hook_;
};

}  // namespace platform::detail
