// One direction of a relay: the bytes read from a source (a socket, or a cache file) and held
// until the destination socket takes them. Bytes move through a pipe (never copied into the
// process) or, when they must be looked at or no pipe can be had, through a buffer; either way
// at most one holding's worth is read ahead of the destination. Used by one session thread.
#pragma once

#include <sys/types.h>

#include <algorithm>
#include <cstddef>
#include <memory>

#include "platform/socket.h"

namespace engine {

// The buffer used when bytes are looked at (or no pipe can be had).
inline constexpr size_t kRelayBufferBytes = 64 * 1024;

class RelayDirection {
 public:
  RelayDirection() = default;
  ~RelayDirection();
  RelayDirection(const RelayDirection&) = delete;
  RelayDirection& operator=(const RelayDirection&) = delete;

  void Set(platform::Socket from, platform::Socket to) {
    from_ = from;
    to_ = to;
  }
  // A regular file read from offset instead of a socket (the cache serving a stored answer).
  void SetFileSource(int fd, off_t offset) {
    from_ = fd;
    file_ = true;
    file_offset_ = offset;
  }
  [[nodiscard]] platform::Socket from() const { return from_; }
  [[nodiscard]] platform::Socket to() const { return to_; }
  [[nodiscard]] bool file_source() const { return file_; }
  // Buffer mode (bytes handed to the reader of Fill): switches only while nothing is held.
  void set_inspect(bool on) { inspect_ = on; }
  [[nodiscard]] size_t held() const { return held_; }
  [[nodiscard]] bool full() const;

  enum class Read { kSome, kNothing, kEnd, kFailed };
  // Reads what the source has, as far as there is room. With kSome in buffer mode, *fresh and
  // *fresh_n are the bytes just read (still held). Re-arms the source's read event.
  [[nodiscard]] Read Fill(char** fresh, size_t* fresh_n);
  enum class Write { kAll, kBlocked, kFailed };
  // Sends held bytes; *sent counts what went out. kBlocked: the destination is full (its
  // FD_WRITE will come).
  [[nodiscard]] Write Drain(size_t* sent);
  // Forgets the held bytes (their destination is gone).
  void Drop();
  // Forgets the last n bytes read into the buffer (an inspector refused them).
  void DropTail(size_t n) { held_ -= std::min(n, held_); }

 private:
  bool UsePipe();
  Read FillPipe();
  Read FillBuffer(char** fresh, size_t* fresh_n);

  platform::Socket from_ = platform::kInvalidSocket;
  platform::Socket to_ = platform::kInvalidSocket;
  bool file_ = false;
  off_t file_offset_ = 0;
  bool inspect_ = false;
  bool in_pipe_ = false;  // the held bytes are in the pipe (else in the buffer)
  int pipe_[2] = {-1, -1};
  size_t pipe_capacity_ = 0;
  bool pipe_failed_ = false;
  std::unique_ptr<char[]> buffer_;
  size_t begin_ = 0;  // held bytes of the buffer: [begin_, begin_ + held_)
  size_t held_ = 0;
};

}  // namespace engine
