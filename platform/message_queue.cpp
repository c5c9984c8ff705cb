// Per-thread queues, targets, timers and socket selections.
// Lock order: the global directory lock (g_dir.mu) is never held while a queue lock is
// taken the other way round; queue locks are leaves.
#include "platform/message_queue.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <vector>

#include "platform/socket_errors.h"

namespace platform {
namespace {

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
  bool parked = false;  // nothing to watch until a re-enabling call
  uint64_t generation = 0;
};

class ThreadQueue {
 public:
  explicit ThreadQueue(ThreadId id) : id_(id), event_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~ThreadQueue() {
    if (event_fd_ >= 0) close(event_fd_);
  }
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
  void HandleRevents(int socket, short revents);

  const ThreadId id_;
  const int event_fd_;
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

struct TargetInfo {
  std::shared_ptr<ThreadQueue> queue;
  TargetHandler handler;
};

// Who owns what: targets, threads and selected sockets, each mapped to the owning queue.
struct Directory {
  std::shared_mutex mu;
  std::unordered_map<TargetId, TargetInfo> targets;
  std::unordered_map<ThreadId, std::shared_ptr<ThreadQueue>> threads;
  std::unordered_map<int, std::shared_ptr<ThreadQueue>> socket_owner;
  std::atomic<uint32_t> next_target{1};
  std::atomic<uint32_t> next_thread{1};
};

Directory& Dir() {
  static Directory* dir = new Directory;  // never destroyed: threads may outlive main()
  return *dir;
}

// The calling thread's queue; registered on first use, unregistered when the thread ends.
struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueHolder() {
    if (!queue) return;
    Directory& dir = Dir();
    std::unique_lock lock(dir.mu);
    dir.threads.erase(queue->id());
    for (auto it = dir.targets.begin(); it != dir.targets.end();) {
      it = it->second.queue == queue ? dir.targets.erase(it) : std::next(it);
    }
    for (auto it = dir.socket_owner.begin(); it != dir.socket_owner.end();) {
      it = it->second == queue ? dir.socket_owner.erase(it) : std::next(it);
    }
  }
};

thread_local QueueHolder t_holder;

std::shared_ptr<ThreadQueue> NewRegisteredQueue() {
  Directory& dir = Dir();
  auto queue = std::make_shared<ThreadQueue>(dir.next_thread.fetch_add(1));
  std::unique_lock lock(dir.mu);
  dir.threads[queue->id()] = queue;
  return queue;
}

ThreadQueue& Current() {
  if (!t_holder.queue) t_holder.queue = NewRegisteredQueue();
  return *t_holder.queue;
}

std::shared_ptr<ThreadQueue> QueueOfTarget(TargetId target) {
  Directory& dir = Dir();
  std::shared_lock lock(dir.mu);
  auto it = dir.targets.find(target);
  return it == dir.targets.end() ? nullptr : it->second.queue;
}

// Maps the pending error of a socket to its Winsock number (0 for an orderly close).
int PendingSocketError(int socket) {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return 0;
  return err == 0 ? 0 : WinsockErrorFromErrno(err);
}

bool ThreadQueue::TakeReadyLocked(Message* out, bool remove) {
  if (!posted_.empty()) {
    *out = posted_.front();
    if (remove) posted_.pop_front();
    return true;
  }
  if (quit_) {
    *out = Message{0, kWmQuit, static_cast<Wparam>(quit_code_), 0};
    if (remove) quit_ = false;
    return true;
  }
  auto now = Clock::now();
  for (Timer& t : timers_) {
    if (t.due <= now) {
      *out = Message{t.target, kWmTimer, t.id, 0};
      if (remove) t.due = now + t.period;
      return true;
    }
  }
  return false;
}

int ThreadQueue::PollTimeoutLocked(int timeout_ms) const {
  if (timers_.empty()) return timeout_ms;
  auto now = Clock::now();
  auto soonest = timers_.front().due;
  for (const Timer& t : timers_) soonest = std::min(soonest, t.due);
  auto wait = std::chrono::ceil<std::chrono::milliseconds>(soonest - now).count();
  wait = std::max<long long>(wait, 0);
  if (timeout_ms < 0 || wait < timeout_ms) return static_cast<int>(std::min<long long>(wait, INT32_MAX));
  return timeout_ms;
}

void ThreadQueue::BuildPollSetLocked(std::vector<pollfd>* fds,
                                     std::vector<std::pair<int, uint64_t>>* keys) {
  fds->push_back(pollfd{event_fd_, POLLIN, 0});
  for (auto& [socket, w] : sockets_) {
    if (w.parked) continue;
    short events = 0;
    if (w.listener) {
      if (w.accept_armed && (w.events & kFdAccept)) events = POLLIN;
    } else if (w.datagram) {
      if (w.read_armed && (w.events & kFdRead)) events = POLLIN;
    } else if ((w.events & kFdRead) && w.read_armed) {
      events = POLLIN | POLLRDHUP;
    } else if ((w.events & kFdRead) == 0 && (w.events & kFdClose) && !w.close_sent) {
      events = POLLRDHUP;
    }
    // A socket with nothing armed is left out: poll would report its hang-up for ever.
    if (events == 0) continue;
    fds->push_back(pollfd{socket, events, 0});
    keys->emplace_back(socket, w.generation);
  }
}

void ThreadQueue::HandleRevents(int socket, short revents) {
  SocketWatch& w = sockets_[socket];
  auto post = [&](long event, int error) {
    posted_.push_back(Message{w.target, w.message, static_cast<Wparam>(socket),
                              MakeSelectLparam(event, error)});
  };
  if (w.listener) {
    post(kFdAccept, 0);
    w.accept_armed = false;
    return;
  }
  if (w.datagram) {
    post(kFdRead, 0);
    w.read_armed = false;
    return;
  }
  int unread = 0;
  if (ioctl(socket, FIONREAD, &unread) != 0) unread = 0;
  if (unread > 0) {
    if ((w.events & kFdRead) && w.read_armed) {
      post(kFdRead, 0);
      w.read_armed = false;
    } else {
      w.parked = true;  // the close waits until the owner has read these bytes
    }
    return;
  }
  if (revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) {
    if ((w.events & kFdClose) && !w.close_sent) {
      post(kFdClose, PendingSocketError(socket));
      w.close_sent = true;
    } else if ((w.events & kFdRead) && w.read_armed) {
      post(kFdRead, 0);  // recv will report the end
      w.read_armed = false;
    }
    w.parked = true;
  }
}

bool ThreadQueue::Next(Message* out, bool remove, int timeout_ms) {
  std::vector<pollfd> fds;
  std::vector<std::pair<int, uint64_t>> keys;
  auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  std::unique_lock lock(mu_);
  for (;;) {
    if (TakeReadyLocked(out, remove)) return true;
    int wait = timeout_ms;
    if (timeout_ms >= 0) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = static_cast<int>(std::max<long long>(left, 0));
    }
    wait = PollTimeoutLocked(wait);
    fds.clear();
    keys.clear();
    BuildPollSetLocked(&fds, &keys);
    sleeping_ = true;
    lock.unlock();
    int ready = poll(fds.data(), fds.size(), wait);
    lock.lock();
    sleeping_ = false;
    if (ready > 0 && (fds[0].revents & POLLIN)) {
      uint64_t count;
      [[maybe_unused]] ssize_t n = read(event_fd_, &count, sizeof count);
    }
    for (size_t i = 1; ready > 0 && i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      auto it = sockets_.find(keys[i - 1].first);
      // The selection may have been replaced or ended while we slept.
      if (it == sockets_.end() || it->second.generation != keys[i - 1].second) continue;
      HandleRevents(it->first, fds[i].revents);
    }
    if (timeout_ms >= 0 && Clock::now() >= deadline && posted_.empty()) {
      return TakeReadyLocked(out, remove);
    }
  }
}

void ThreadQueue::SetTimer(TargetId target, uintptr_t id, unsigned period_ms) {
  std::lock_guard lock(mu_);
  auto period = std::chrono::milliseconds(std::max(period_ms, 1u));
  for (Timer& t : timers_) {
    if (t.target == target && t.id == id) {
      t.period = period;
      t.due = Clock::now() + period;
      return;
    }
  }
  timers_.push_back(Timer{target, id, period, Clock::now() + period});
  WakeLocked();
}

bool ThreadQueue::KillTimer(TargetId target, uintptr_t id) {
  std::lock_guard lock(mu_);
  return std::erase_if(timers_, [&](const Timer& t) { return t.target == target && t.id == id; }) > 0;
}

void ThreadQueue::DropTarget(TargetId target) {
  std::lock_guard lock(mu_);
  std::erase_if(timers_, [&](const Timer& t) { return t.target == target; });
  std::erase_if(sockets_, [&](const auto& kv) { return kv.second.target == target; });
}

int ThreadQueue::Select(int socket, TargetId target, unsigned message, long events, int* error) {
  int type = 0, accepting = 0;
  socklen_t len = sizeof type;
  if (getsockopt(socket, SOL_SOCKET, SO_TYPE, &type, &len) != 0) {
    if (error) *error = kWsaENotSock;
    return -1;
  }
  len = sizeof accepting;
  if (getsockopt(socket, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &len) != 0) accepting = 0;
  int flags = fcntl(socket, F_GETFL);
  if (flags >= 0 && !(flags & O_NONBLOCK)) fcntl(socket, F_SETFL, flags | O_NONBLOCK);
  std::lock_guard lock(mu_);
  if (events == 0) {
    sockets_.erase(socket);
  } else {
    SocketWatch w;
    w.target = target;
    w.message = message;
    w.events = events;
    w.listener = accepting != 0;
    w.datagram = type == SOCK_DGRAM;
    w.generation = next_generation_++;
    sockets_[socket] = w;
  }
  WakeLocked();
  return 0;
}

void ThreadQueue::Forget(int socket) {
  std::lock_guard lock(mu_);
  if (sockets_.erase(socket) > 0) WakeLocked();
}

void ThreadQueue::NoteCall(int socket) {
  std::lock_guard lock(mu_);
  auto it = sockets_.find(socket);
  if (it == sockets_.end()) return;
  SocketWatch& w = it->second;
  bool was_idle = w.parked || !w.read_armed || !w.accept_armed;
  w.read_armed = true;
  w.accept_armed = true;
  if (!w.close_sent) w.parked = false;
  if (was_idle) WakeLocked();
}

}  // namespace

struct PreparedQueue {
  std::shared_ptr<ThreadQueue> queue;
};

PreparedQueue* PrepareThreadQueue(ThreadId* id) {
  auto* prepared = new PreparedQueue{NewRegisteredQueue()};
  *id = prepared->queue->id();
  return prepared;
}

void AdoptThreadQueue(PreparedQueue* prepared) {
  t_holder.queue = std::move(prepared->queue);
  delete prepared;
}

void DiscardThreadQueue(PreparedQueue* prepared) {
  QueueHolder unregister{std::move(prepared->queue)};
  delete prepared;
}

void ReleaseThreadQueue() { QueueHolder ended{std::move(t_holder.queue)}; }

ThreadId CurrentThreadId() { return Current().id(); }

TargetId CreateTarget(TargetHandler handler) {
  ThreadQueue& queue = Current();
  Directory& dir = Dir();
  TargetId id = dir.next_target.fetch_add(1);
  if (id == 0) return 0;
  std::unique_lock lock(dir.mu);
  dir.targets[id] = TargetInfo{dir.threads.at(queue.id()), std::move(handler)};
  return id;
}

bool DestroyTarget(TargetId target) {
  std::shared_ptr<ThreadQueue> queue;
  {
    Directory& dir = Dir();
    std::unique_lock lock(dir.mu);
    auto it = dir.targets.find(target);
    if (it == dir.targets.end()) return false;
    queue = it->second.queue;
    dir.targets.erase(it);
  }
  queue->DropTarget(target);
  return true;
}

bool IsTarget(TargetId target) { return QueueOfTarget(target) != nullptr; }

ThreadId TargetThread(TargetId target) {
  auto queue = QueueOfTarget(target);
  return queue ? queue->id() : 0;
}

bool PostMessage(TargetId target, unsigned message, Wparam wparam, Lparam lparam) {
  auto queue = QueueOfTarget(target);
  if (!queue) return false;
  queue->Post(Message{target, message, wparam, lparam});
  return true;
}

bool PostThreadMessage(ThreadId thread, unsigned message, Wparam wparam, Lparam lparam) {
  std::shared_ptr<ThreadQueue> queue;
  {
    Directory& dir = Dir();
    std::shared_lock lock(dir.mu);
    auto it = dir.threads.find(thread);
    if (it == dir.threads.end()) return false;
    queue = it->second;
  }
  queue->Post(Message{0, message, wparam, lparam});
  return true;
}

void PostQuitMessage(int exit_code) { Current().Quit(exit_code); }

bool GetMessage(Message* out) {
  Current().Next(out, true, -1);
  return out->message != kWmQuit;
}

void WaitMessage() {
  Message ignored;
  Current().Next(&ignored, false, -1);
}

bool PeekMessage(Message* out, bool remove) { return Current().Next(out, remove, 0); }

bool DispatchMessage(const Message& msg) {
  TargetHandler handler;
  {
    Directory& dir = Dir();
    std::shared_lock lock(dir.mu);
    auto it = dir.targets.find(msg.target);
    if (it == dir.targets.end() || !it->second.handler) return false;
    handler = it->second.handler;
  }
  handler(msg);
  return true;
}

bool SetTimer(TargetId target, uintptr_t id, unsigned period_ms) {
  auto queue = QueueOfTarget(target);
  if (!queue) return false;
  queue->SetTimer(target, id, period_ms);
  return true;
}

bool KillTimer(TargetId target, uintptr_t id) {
  auto queue = QueueOfTarget(target);
  return queue && queue->KillTimer(target, id);
}

int AsyncSelect(int socket, TargetId target, unsigned message, long events, int* error) {
  auto queue = QueueOfTarget(target);
  if (!queue) {
    if (error) *error = kWsaEInval;
    return -1;
  }
  std::shared_ptr<ThreadQueue> previous;
  {
    Directory& dir = Dir();
    std::unique_lock lock(dir.mu);
    auto it = dir.socket_owner.find(socket);
    if (it != dir.socket_owner.end() && it->second != queue) previous = it->second;
    if (events == 0) {
      dir.socket_owner.erase(socket);
    } else {
      dir.socket_owner[socket] = queue;
    }
  }
  if (previous) previous->Forget(socket);
  return queue->Select(socket, target, message, events, error);
}

void NoteSocketCall(int socket) {
  std::shared_ptr<ThreadQueue> queue;
  {
    Directory& dir = Dir();
    std::shared_lock lock(dir.mu);
    auto it = dir.socket_owner.find(socket);
    if (it == dir.socket_owner.end()) return;
    queue = it->second;
  }
  queue->NoteCall(socket);
}

void ForgetSocket(int socket) {
  std::shared_ptr<ThreadQueue> queue;
  {
    Directory& dir = Dir();
    std::unique_lock lock(dir.mu);
    auto it = dir.socket_owner.find(socket);
    if (it == dir.socket_owner.end()) return;
    queue = it->second;
    dir.socket_owner.erase(it);
  }
  queue->Forget(socket);
}

void SetQueueWakeHook(std::function<void()> hook) { Current().SetWakeHook(std::move(hook)); }

}  // namespace platform
