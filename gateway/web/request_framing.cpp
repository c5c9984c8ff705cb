// Request framing: Content-Length and chunked bodies (RFC 9112 section 6 and 7.1).
#include "gateway/web/request_framing.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

#include "gateway/web/header_fields.h"

namespace web {
namespace {

// A chunk-size or trailer line longer than this is not a request we forward.
constexpr size_t kLineLimit = 4096;
constexpr uint64_t kLargestLength = UINT64_C(1) << 60;

bool ParseLength(std::string_view text, uint64_t* out) {
  if (text.empty()) return false;
  uint64_t n = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
    if (n > kLargestLength) return false;
  }
  *out = n;
  return true;
}

}  // namespace

bool RequestFraming::Start(const std::string& head) {
  std::vector<std::string> codings = ListMembers(HeaderValues(head, "transfer-encoding"));
  if (!codings.empty()) {
    // A request body with a transfer coding must end in "chunked" to be framed at all.
    if (codings.back() != "chunked") return false;
    state_ = State::kChunkSize;
    return true;
  }
  std::vector<std::string> lengths = HeaderValues(head, "content-length");
  state_ = State::kDone;
  if (lengths.empty()) return true;
  uint64_t length = 0;
  for (const std::string& value : lengths) {
    uint64_t n = 0;
    if (!ParseLength(value, &n) || (&value != &lengths.front() && n != length)) return false;
    length = n;
  }
  remaining_ = length;
  state_ = length > 0 ? State::kLength : State::kDone;
  return true;
}

bool RequestFraming::EndChunkSizeLine() {
  std::string_view size = TrimField(line_);
  size = size.substr(0, std::min(size.find(';'), size.size()));
  size = TrimField(size);
  if (size.empty() || size.size() > 15) return false;
  uint64_t n = 0;
  for (char c : size) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    n = n * 16 +
        static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(c))
                                  ? c - '0'
                                  : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
  }
  remaining_ = n;
  state_ = n > 0 ? State::kChunkData : State::kTrailer;
  return true;
}

bool RequestFraming::TakeLineByte(char c) {
  if (c != '\n') {
    if (line_.size() >= kLineLimit) return false;
    line_ += c;
    return true;
  }
  bool ok = true;
  switch (state_) {
    case State::kChunkSize:
      ok = EndChunkSizeLine();
      break;
    case State::kChunkDataEnd:
      ok = TrimField(line_).empty();
      state_ = State::kChunkSize;
      break;
    case State::kTrailer:
      if (TrimField(line_).empty()) state_ = State::kDone;
      break;
    default:
      break;
  }
  line_.clear();
  return ok;
}

size_t RequestFraming::TakeClientBytes(const char* data, size_t n) {
  size_t taken = 0;
  while (taken < n) {
    switch (state_) {
      case State::kDone:
      case State::kBroken:
        return taken;
      case State::kLength:
      case State::kChunkData: {
        size_t part = static_cast<size_t>(std::min<uint64_t>(remaining_, n - taken));
        taken += part;
        remaining_ -= part;
        if (remaining_ == 0)
          state_ = state_ == State::kLength ? State::kDone : State::kChunkDataEnd;
        break;
      }
      default:
        if (!TakeLineByte(data[taken])) {
          state_ = State::kBroken;
          return taken;
        }
        ++taken;
        break;
    }
  }
  return taken;
}

}  // namespace web
