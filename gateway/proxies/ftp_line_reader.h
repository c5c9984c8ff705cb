// Assembles the lines of one FTP control connection from what each read event brings, in a
// fixed buffer of the command-buffer size. A line that does not fit is handed out cut to the
// buffer and the rest of it, up to its line feed, is dropped.
// Owned and used by one session thread.
#pragma once

#include <cstddef>
#include <string>

#include "platform/socket.h"

namespace proxies {

class FtpLineReader {
 public:
  static constexpr size_t kCapacity = 1024;

  // Reads what the socket holds into the free room. The count read (0: the peer closed);
  // -1 on an error other than would-block; -2 when nothing was waiting.
  [[nodiscard]] int Fill(platform::Socket s);

  enum class Take { kNone, kLine, kTooLong };
  // The next complete line with its line feed (kLine); the first kCapacity bytes of a line
  // that did not fit (kTooLong, once per such line); kNone when no whole line is held.
  [[nodiscard]] Take TakeLine(std::string* line);
  // Hands out and forgets every byte held (complete lines or not).
  [[nodiscard]] std::string TakeAll();

 private:
  char buffer_[kCapacity] = {};
  size_t used_ = 0;
  bool dropping_ = false;  // the rest of a line that did not fit is being dropped
};

}  // namespace proxies
