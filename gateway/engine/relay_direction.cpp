// Filling and draining one relay direction through its pipe or its buffer.
#include "gateway/engine/relay_direction.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "platform/byte_meter.h"
#include "platform/message_queue.h"
#include "platform/socket_errors.h"

namespace engine {
namespace {

constexpr unsigned kSpliceFlags = SPLICE_F_MOVE | SPLICE_F_NONBLOCK;

// A privileged gateway's pipes are not counted against the per-user pipe allowance, so they
// hold up to 1 MiB. An ordinary user's pipes count against fs.pipe-user-pages-soft (16,384
// pages by default); 4 pages each lets 2,000 sessions (4,000 pipes) keep working pipes.
size_t WantedPipeBytes() {
  static const size_t bytes = geteuid() == 0 ? (1u << 20) : 4u * 4096u;
  return bytes;
}

// Empty pipes kept by a session thread for the next session it runs (the threads are pooled),
// so a short connection does not pay for making and closing two pipes. Owned by the thread;
// closed when it ends. One session's pair at most: a parked thread's descriptors are ones
// the listeners cannot accept with.
class SparePipes {
 public:
  static constexpr size_t kMax = 2;
  ~SparePipes() {
    for (size_t i = 0; i < count_; ++i) {
      close(pipes_[i].fds[0]);
      close(pipes_[i].fds[1]);
    }
  }
  bool Take(int fds[2], size_t* capacity) {
    if (count_ == 0) return false;
    const Spare& spare = pipes_[--count_];
    fds[0] = spare.fds[0];
    fds[1] = spare.fds[1];
    *capacity = spare.capacity;
    return true;
  }
  // Keeps an empty pipe (the direction's count of held bytes says it is), or closes it when
  // enough are kept.
  void Give(const int fds[2], size_t capacity) {
    if (count_ == kMax) {
      close(fds[0]);
      close(fds[1]);
      return;
    }
    pipes_[count_++] = Spare{{fds[0], fds[1]}, capacity};
  }

 private:
  struct Spare {
    int fds[2];
    size_t capacity;
  };
  Spare pipes_[kMax] = {};
  size_t count_ = 0;
};

thread_local SparePipes t_spare_pipes;

}  // namespace

RelayDirection::~RelayDirection() {
  if (pipe_[0] >= 0 && (held_ == 0 || !in_pipe_)) {
    t_spare_pipes.Give(pipe_, pipe_capacity_);
    return;
  }
  for (int fd : pipe_) {
    if (fd >= 0) close(fd);
  }
}

bool RelayDirection::UsePipe() {
  if (inspect_ || file_ || pipe_failed_) return false;
  if (pipe_[0] >= 0) return true;
  if (t_spare_pipes.Take(pipe_, &pipe_capacity_)) return true;
  if (pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0) {
    pipe_[0] = pipe_[1] = -1;
    pipe_failed_ = true;
    return false;
  }
  int got = fcntl(pipe_[1], F_SETPIPE_SZ, static_cast<int>(WantedPipeBytes()));
  if (got <= 0) got = fcntl(pipe_[1], F_GETPIPE_SZ);
  pipe_capacity_ = got > 0 ? static_cast<size_t>(got) : 4096;
  return true;
}

bool RelayDirection::full() const {
  if (held_ == 0) return false;
  return in_pipe_ ? held_ >= pipe_capacity_ : begin_ + held_ >= kRelayBufferBytes;
}

RelayDirection::Read RelayDirection::Fill(char** fresh, size_t* fresh_n) {
  *fresh = nullptr;
  *fresh_n = 0;
  // The mode changes only while nothing is held.
  if (held_ == 0) in_pipe_ = UsePipe();
  return in_pipe_ ? FillPipe() : FillBuffer(fresh, fresh_n);
}

RelayDirection::Read RelayDirection::FillPipe() {
  size_t room = pipe_capacity_ - std::min(held_, pipe_capacity_);
  if (room == 0) return Read::kNothing;
  ssize_t in;
  do {
    in = splice(from_, nullptr, pipe_[1], nullptr, room, kSpliceFlags);
  } while (in < 0 && errno == EINTR);
  int err = errno;
  platform::NoteSocketCall(from_);  // reading re-arms the read event, as recv does
  if (in > 0) {
    platform::CountReceived(from_, static_cast<size_t>(in));
    held_ += static_cast<size_t>(in);
    return Read::kSome;
  }
  if (in == 0) return Read::kEnd;
  return err == EAGAIN ? Read::kNothing : Read::kFailed;
}

RelayDirection::Read RelayDirection::FillBuffer(char** fresh, size_t* fresh_n) {
  if (!buffer_) {
    buffer_.reset(new (std::nothrow) char[kRelayBufferBytes]);
    if (!buffer_) return Read::kFailed;
  }
  if (held_ == 0) begin_ = 0;
  size_t end = begin_ + held_;
  if (end == kRelayBufferBytes) return Read::kNothing;
  ssize_t r;
  if (file_) {
    do {
      r = pread(from_, buffer_.get() + end, kRelayBufferBytes - end, file_offset_);
    } while (r < 0 && errno == EINTR);
    if (r > 0) file_offset_ += r;
  } else {
    r = platform::Recv(from_, buffer_.get() + end, kRelayBufferBytes - end);
    if (r < 0 && platform::LastSocketError() == platform::kWsaEWouldBlock) return Read::kNothing;
  }
  if (r < 0) return Read::kFailed;
  if (r == 0) return Read::kEnd;
  held_ += static_cast<size_t>(r);
  *fresh = buffer_.get() + end;
  *fresh_n = static_cast<size_t>(r);
  return Read::kSome;
}

RelayDirection::Write RelayDirection::Drain(size_t* sent) {
  *sent = 0;
  while (held_ > 0) {
    ssize_t out;
    if (in_pipe_) {
      do {
        out = splice(pipe_[0], nullptr, to_, nullptr, held_, kSpliceFlags);
      } while (out < 0 && errno == EINTR);
      if (out < 0 && (errno == EAGAIN || errno == ENOBUFS)) {
        platform::NoteSendBlocked(to_);
        return Write::kBlocked;
      }
    } else {
      out = platform::Send(to_, buffer_.get() + begin_, held_, MSG_DONTROUTE);
      if (out < 0) {
        int e = platform::LastSocketError();
        if (e == platform::kWsaEWouldBlock || e == platform::kWsaENoBufs) {
          return Write::kBlocked;  // Send reported the block for FD_WRITE
        }
      }
    }
    if (out <= 0) return Write::kFailed;
    if (in_pipe_) platform::CountSent(to_, static_cast<size_t>(out));
    held_ -= static_cast<size_t>(out);
    if (!in_pipe_) begin_ += static_cast<size_t>(out);
    *sent += static_cast<size_t>(out);
  }
  begin_ = 0;
  return Write::kAll;
}

void RelayDirection::Drop() {
  if (in_pipe_ && held_ > 0) {
    // The pipe cannot be emptied cheaply; a fresh one replaces it if it is needed again.
    for (int& fd : pipe_) {
      if (fd >= 0) close(fd);
      fd = -1;
    }
  }
  held_ = 0;
  begin_ = 0;
}

}  // namespace engine
