// Line editing of the Telnet prompt.
#include "gateway/proxies/telnet_line_editor.h"

#include <cctype>

namespace proxies {
namespace {

constexpr char kBackspace = 8;
constexpr char kDelete = 0x7F;  // what most terminals send for their Backspace key
constexpr char kCarriageReturn = 13;
constexpr size_t kLineLimit = kTelnetBufferSize - 1;  // room for the terminating zero

}  // namespace

std::string TelnetLineEditor::Feed(std::string_view bytes, bool* ended) {
  *ended = false;
  std::string echo;
  for (char c : bytes) {
    if (c == '\0') break;
    if (c == kCarriageReturn) *ended = true;
    if (c == kBackspace || c == kDelete) {
      // A backspace on an empty line leaves it empty and shows nothing.
      if (line_.empty()) continue;
      line_.pop_back();
      echo += "\b \b";
      continue;
    }
    if (line_.size() >= kLineLimit) continue;
    line_ += c;
    echo += c;
  }
  return echo;
}

std::string HostFromLine(std::string_view line) {
  std::string host;
  for (char c : line) {
    auto code = static_cast<unsigned char>(c);
    if (code >= 37 && code <= 126) host += c;
  }
  return host;
}

bool IsExitLine(std::string_view host) {
  constexpr std::string_view kExit = "exit";
  if (host.size() != kExit.size()) return false;
  for (size_t i = 0; i < kExit.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(host[i])) != kExit[i]) return false;
  }
  return true;
}

}  // namespace proxies
