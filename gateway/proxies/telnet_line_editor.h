// The Telnet proxy's line entry: the destination host is typed at the gateway's prompt and
// edited like a line-mode terminal (echo; backspace, 0x08 or DEL 0x7f, shown as
// backspace-blank-backspace), in a line
// of at most 511 characters. Pure; one editor per session, used by its thread only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace proxies {

inline constexpr size_t kTelnetBufferSize = 512;

class TelnetLineEditor {
 public:
  // Edits the line with one read's bytes, up to the first zero byte among them. Returns what
  // is echoed to the client; *ended tells whether a carriage return was typed. Characters
  // typed into a full line are neither kept nor echoed (a carriage return still ends it).
  [[nodiscard]] std::string Feed(std::string_view bytes, bool* ended);
  [[nodiscard]] const std::string& line() const { return line_; }
  void Clear() { line_.clear(); }

 private:
  std::string line_;
};

// The host name in a typed line: only the characters with codes 37 to 126 are kept (this drops
// control characters, the line end, blanks and the characters 33 to 36).
[[nodiscard]] std::string HostFromLine(std::string_view line);

// True when host is "exit" in any letter case.
[[nodiscard]] bool IsExitLine(std::string_view host);

}  // namespace proxies
