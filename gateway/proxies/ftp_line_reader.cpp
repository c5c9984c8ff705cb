// Control-connection lines in a bounded buffer.
#include "gateway/proxies/ftp_line_reader.h"

#include <cstring>

#include "platform/socket_errors.h"

namespace proxies {

int FtpLineReader::Fill(platform::Socket s) {
  if (used_ == kCapacity) return -2;  // TakeLine empties a full buffer before the next read
  int n = platform::Recv(s, buffer_ + used_, kCapacity - used_);
  if (n < 0) {
    int err = platform::LastSocketError();
    return err == platform::kWsaEWouldBlock || err == platform::kWsaENoBufs ? -2 : -1;
  }
  used_ += static_cast<size_t>(n);
  return n;
}

FtpLineReader::Take FtpLineReader::TakeLine(std::string* line) {
  for (;;) {
    auto* feed = static_cast<char*>(std::memchr(buffer_, '\n', used_));
    if (feed == nullptr) {
      if (used_ < kCapacity) return Take::kNone;
      used_ = 0;
      if (dropping_) continue;
      dropping_ = true;
      line->assign(buffer_, kCapacity);
      return Take::kTooLong;
    }
    size_t length = static_cast<size_t>(feed - buffer_) + 1;
    bool dropped = dropping_;
    if (!dropped) line->assign(buffer_, length);
    dropping_ = false;
    std::memmove(buffer_, buffer_ + length, used_ - length);
    used_ -= length;
    if (!dropped) return Take::kLine;
  }
}

std::string FtpLineReader::TakeAll() {
  std::string all(buffer_, used_);
  used_ = 0;
  dropping_ = false;
  return all;
}

}  // namespace proxies
