// Collecting and rewriting the request header block.
#include "gateway/web/request_head.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "gateway/engine/opening_wait.h"
#include "platform/socket_errors.h"

namespace web {
namespace {

// Wake-ups without data (a would-block after readable) are bounded as well as the time.
constexpr int kMaxRounds = 1000;

bool SameName(std::string_view name, std::string_view wanted) {
  if (name.size() != wanted.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != wanted[i]) return false;
  }
  return true;
}

bool IsDroppedHeader(std::string_view line, const std::vector<std::string>& names) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  std::string_view name = line.substr(0, colon);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return std::any_of(names.begin(), names.end(),
                     [name](const std::string& wanted) { return SameName(name, wanted); });
}

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

size_t HeadEnd(const std::string& request, size_t from) {
  for (size_t i = from; i < request.size(); ++i) {
    if (request[i] != '\n') continue;
    if (i + 1 < request.size() && request[i + 1] == '\n') return i + 2;
    if (i + 2 < request.size() && request[i + 1] == '\r' && request[i + 2] == '\n') return i + 3;
  }
  return std::string::npos;
}

HeadResult CollectRequestHead(platform::Socket client, int wait_ms, std::string* request) {
  // Bytes read with the previous request on a kept connection come first.
  if (HeadEnd(*request) != std::string::npos) return HeadResult::kComplete;
  if (request->size() >= kMaxRequestHead) return HeadResult::kViolation;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kMaxRequestHead]);
  if (!buffer) return HeadResult::kNoMemory;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  engine::OpeningDeadline bounds;
  size_t have = request->size();
  request->copy(buffer.get(), have);
  for (int round = 0; round < kMaxRounds; ++round) {
    // A read event brings the session here, so the first round reads without a wait: the
    // bytes are usually there already, and a wait costs its own target and selection.
    if (round > 0) {
      int left = std::min(MillisecondsLeft(deadline), bounds.LeftMs());
      engine::WaitResult ready =
          left > 0 ? engine::WaitInOpening(client, false, left) : engine::WaitResult::kTimedOut;
      if (ready == engine::WaitResult::kKilled) return HeadResult::kClosed;
      if (ready == engine::WaitResult::kTimedOut) {
        return have == 0 ? HeadResult::kNothing : HeadResult::kViolation;
      }
    }
    int n = platform::Recv(client, buffer.get() + have, kMaxRequestHead - have,
                           round == 0 ? MSG_DONTWAIT : 0);
    if (n == 0) return HeadResult::kClosed;
    if (n < 0) {
      if (platform::LastSocketError() == platform::kWsaEWouldBlock) continue;
      return HeadResult::kRecvError;
    }
    bounds.Progress();
    size_t searched_from = have > 2 ? have - 2 : 0;
    have += static_cast<size_t>(n);
    request->assign(buffer.get(), have);
    if (HeadEnd(*request, searched_from) != std::string::npos) return HeadResult::kComplete;
    if (have == kMaxRequestHead) return HeadResult::kViolation;
  }
  return HeadResult::kViolation;
}

std::string WithoutHeaders(const std::string& request, const std::vector<std::string>& names,
                           std::string_view added) {
  size_t end = HeadEnd(request);
  size_t first_line_end = request.find('\n');
  if (end == std::string::npos || first_line_end == std::string::npos) return request;
  bool crlf = first_line_end > 0 && request[first_line_end - 1] == '\r';
  std::string out = request.substr(0, first_line_end + 1);
  out.reserve(request.size() + added.size() + 2);
  bool dropping = false;
  size_t pos = first_line_end + 1;
  while (pos < end) {
    size_t eol = request.find('\n', pos);
    std::string_view line(request.data() + pos, eol + 1 - pos);
    bool blank = line == "\n" || line == "\r\n";
    if (blank) break;
    bool folded = line[0] == ' ' || line[0] == '\t';
    if (!folded) dropping = IsDroppedHeader(line, names);
    if (!dropping) out.append(line);
    pos = eol + 1;
  }
  if (!added.empty()) out.append(added).append(crlf ? "\r\n" : "\n");
  out.append(request, pos, std::string::npos);
  return out;
}

std::string CloseConnectionHeaders(const std::string& request) {
  return WithoutHeaders(request, {"connection", "proxy-connection", "keep-alive"},
                        "Connection: close");
}

}  // namespace web
