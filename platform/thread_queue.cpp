// The per-thread queue's wait, its timers and its socket selections.
#include "platform/thread_queue.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/socket_errors.h"

namespace platform::detail {
namespace {

// Maps the pending error of a socket to its Winsock number (0 for an orderly close).
int PendingSocketError(int socket) {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return 0;
  return err == 0 ? 0 : WinsockErrorFromErrno(err);
}

// The calling thread's wake descriptor, made at its first wait and closed when it ends. A
// queue borrows it only while its owner runs on this thread, and only a sleeping owner is
// written to, so a descriptor is never written after its thread ended.
class ThreadWakeFd {
 public:
  ~ThreadWakeFd() {
    if (fd_ >= 0) close(fd_);
  }
  int Get() {
    if (fd_ < 0) fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd_;
  }

 private:
  int fd_ = -1;
};

thread_local ThreadWakeFd t_wake_fd;

// The longest a thread without a wake descriptor sleeps before it looks at its queue again.
constexpr int kUnwakeableWaitMs = 50;

}  // namespace

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
  if (timeout_ms < 0 || wait < timeout_ms)
    return static_cast<int>(std::min<long long>(wait, INT32_MAX));
  return timeout_ms;
}

void ThreadQueue::BuildPollSetLocked(std::vector<pollfd>* fds,
                                     std::vector<std::pair<int, uint64_t>>* keys) {
  fds->push_back(pollfd{event_fd_, POLLIN, 0});
  for (auto& [socket, w] : sockets_) {
    short events = 0;
    if (w.parked) {
      // Read side waits for a re-enabling call.
    } else if (w.listener) {
      if (w.accept_armed && (w.events & kFdAccept)) events = POLLIN;
    } else if (w.datagram) {
      if (w.read_armed && (w.events & kFdRead)) events = POLLIN;
    } else if ((w.events & kFdRead) && w.read_armed) {
      events = POLLIN | POLLRDHUP;
    } else if ((w.events & kFdRead) == 0 && (w.events & kFdClose) && !w.close_sent) {
      events = POLLRDHUP;
    }
    if (w.write_wanted) events |= POLLOUT;
    // A socket with nothing armed is left out: poll would report its hang-up for ever.
    if (events == 0) continue;
    fds->push_back(pollfd{socket, events, 0});
    keys->emplace_back(socket, w.generation);
  }
}

void ThreadQueue::HandleRevents(int socket, short requested, short revents) {
  SocketWatch& w = sockets_[socket];
  auto post = [&](long event, int error) {
    posted_.push_back(
        Message{w.target, w.message, static_cast<Wparam>(socket), MakeSelectLparam(event, error)});
  };
  // Room again, or a failure the next send reports: either way the sender must look.
  if (w.write_wanted && (revents & (POLLOUT | POLLERR | POLLHUP))) {
    post(kFdWrite, 0);
    w.write_wanted = false;
  }
  if ((requested & ~POLLOUT) == 0) return;  // only the write side was watched
  revents &= static_cast<short>(~POLLOUT);
  if (revents == 0) return;
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
  // Readable with no end in sight means bytes wait; only an end needs the count of what is
  // still unread before it.
  bool ended = (revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
  int unread = 0;
  if (!ended) {
    unread = 1;
  } else if (ioctl(socket, FIONREAD, &unread) != 0) {
    unread = 0;
  }
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
      // A pending error always shows as POLLERR; an orderly close has none to ask for.
      post(kFdClose, (revents & (POLLERR | POLLHUP)) ? PendingSocketError(socket) : 0);
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
    if (event_fd_ < 0) event_fd_ = t_wake_fd.Get();
    // With no wake descriptor (none could be made: the process ran out of them) a post from
    // another thread cannot end the wait, so the wait is cut short and the queue looked at
    // again; the descriptor is asked for again each round.
    if (event_fd_ < 0 && (wait < 0 || wait > kUnwakeableWaitMs)) wait = kUnwakeableWaitMs;
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
      HandleRevents(it->first, fds[i].events, fds[i].revents);
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
  return std::erase_if(timers_, [&](const Timer& t) { return t.target == target && t.id == id; }) >
         0;
}

void ThreadQueue::DropTarget(TargetId target) {
  std::lock_guard lock(mu_);
  std::erase_if(timers_, [&](const Timer& t) { return t.target == target; });
  for (const auto& [socket, w] : sockets_) {
    if (w.target == target) DropSocketEventsLocked(socket);
  }
  std::erase_if(sockets_, [&](const auto& kv) { return kv.second.target == target; });
  // Other messages already posted to the target stay: some carry objects their receiver
  // frees (session notices), and the receiver tells a gone target's messages by their target.
}

// The events of a selection that ends or is replaced, not yet taken, go with it: a socket
// opened later may already have the number they name, and a new selection reports the
// socket's state afresh. True when an FD_WRITE was among them (the new selection owes it).
bool ThreadQueue::DropSocketEventsLocked(int socket) {
  auto it = sockets_.find(socket);
  if (it == sockets_.end()) return false;
  const SocketWatch& w = it->second;
  bool write = false;
  std::erase_if(posted_, [&](const Message& m) {
    if (m.target != w.target || m.message != w.message || m.wparam != static_cast<Wparam>(socket)) {
      return false;
    }
    write = write || SelectEvent(m.lparam) == kFdWrite;
    return true;
  });
  return write;
}

int ThreadQueue::Select(int socket, TargetId target, unsigned message, long events, int* error) {
  {
    // Ending a selection this queue holds asks nothing of the socket (its number was checked
    // when it was selected, and a close would have ended the selection).
    std::lock_guard lock(mu_);
    if (events == 0 && sockets_.count(socket) > 0) {
      DropSocketEventsLocked(socket);
      sockets_.erase(socket);
      WakeLocked();
      return 0;
    }
  }
  int type = 0, accepting = 0;
  socklen_t len = sizeof type;
  if (getsockopt(socket, SOL_SOCKET, SO_TYPE, &type, &len) != 0) {
    if (error) *error = kWsaENotSock;
    return -1;
  }
  // Only a selection that asks for FD_ACCEPT treats a listener as one; the others need not
  // ask the socket (a connection's selection is made twice per session).
  len = sizeof accepting;
  if (type == SOCK_STREAM && (events & kFdAccept) &&
      getsockopt(socket, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &len) != 0) {
    accepting = 0;
  }
  int on = 1;
  ioctl(socket, FIONBIO, &on);  // one call, whatever the other flags are
  std::lock_guard lock(mu_);
  auto previous = sockets_.find(socket);
  bool write_wanted = previous != sockets_.end() && previous->second.write_wanted;
  write_wanted = DropSocketEventsLocked(socket) || write_wanted;
  if (events == 0) {
    sockets_.erase(socket);
  } else {
    SocketWatch w;
    // A send that blocked before this select still gets its FD_WRITE.
    w.write_wanted = write_wanted && (events & kFdWrite) != 0;
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
  DropSocketEventsLocked(socket);
  if (sockets_.erase(socket) > 0) WakeLocked();
}

void ThreadQueue::NoteSendBlocked(int socket) {
  std::lock_guard lock(mu_);
  auto it = sockets_.find(socket);
  if (it == sockets_.end() || (it->second.events & kFdWrite) == 0 || it->second.write_wanted) {
    return;
  }
  it->second.write_wanted = true;
  WakeLocked();
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

}  // namespace platform::detail
