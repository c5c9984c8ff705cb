// Response framing (RFC 9112 sections 6.3 and 9.3): the end of the message and whether either
// connection outlives it.
#include "gateway/web/response_framing.h"

#include <algorithm>
#include <vector>

#include "gateway/web/header_fields.h"
#include "gateway/web/request_head.h"

namespace web {
namespace {

bool HasMember(const std::vector<std::string>& members, const char* wanted) {
  return std::find(members.begin(), members.end(), wanted) != members.end();
}

// The status code of "HTTP/x.y NNN ...", or -1.
int StatusCode(const std::string& head) {
  if (head.size() < 12 || head.compare(0, 5, "HTTP/") != 0) return -1;
  size_t space = head.find(' ');
  if (space == std::string::npos || space + 4 > head.size()) return -1;
  int code = 0;
  for (size_t i = space + 1; i < space + 4; ++i) {
    if (head[i] < '0' || head[i] > '9') return -1;
    code = code * 10 + (head[i] - '0');
  }
  return code;
}

}  // namespace

void ResponseFraming::StartBody(size_t end) {
  std::string block = head_.substr(0, end);
  int status = StatusCode(block);
  std::vector<std::string> connection = ListMembers(HeaderValues(block, "connection"));
  bool version_11 = block.compare(0, 9, "HTTP/1.1 ") == 0;
  bool persistent =
      !HasMember(connection, "close") && (version_11 || HasMember(connection, "keep-alive"));
  server_persists_ = persistent;
  client_persists_ = persistent;
  if (status < 0 || status == 101) {
    state_ = State::kUntilClose;  // not HTTP as we know it, or a switch to another protocol
    return;
  }
  if (head_request_ || (status >= 100 && status < 200) || status == 204 || status == 304) {
    state_ = State::kDone;
    return;
  }
  std::vector<std::string> codings = ListMembers(HeaderValues(block, "transfer-encoding"));
  bool framed = !HeaderValues(block, "content-length").empty() ||
                (!codings.empty() && codings.back() == "chunked");
  auto body = std::make_unique<RequestFraming>();
  if (!framed || !body->Start(block)) {
    state_ = State::kUntilClose;
    return;
  }
  body_ = std::move(body);
  state_ = body_->complete() ? State::kDone : State::kBody;
}

size_t ResponseFraming::TakeServerBytes(const char* data, size_t n) {
  size_t taken = 0;
  while (taken < n) {
    if (state_ == State::kUntilClose) return n;
    if (state_ == State::kDone) {
      overrun_ = true;
      return taken;
    }
    if (state_ == State::kBody) {
      taken += body_->TakeClientBytes(data + taken, n - taken);
      if (body_->complete()) state_ = State::kDone;
      if (!body_->complete() && taken < n) state_ = State::kUntilClose;  // a broken chunk
      continue;
    }
    size_t before = head_.size();
    size_t part = std::min(n - taken, kMaxResponseHead - before);
    head_.append(data + taken, part);
    size_t end = HeadEnd(head_, before > 2 ? before - 2 : 0);
    if (end == std::string::npos) {
      taken += part;
      if (head_.size() >= kMaxResponseHead) state_ = State::kUntilClose;
      continue;
    }
    taken += end - before;
    int status = StatusCode(head_);
    StartBody(end);
    head_.clear();
    // An interim answer is followed by the final one on the same connection.
    if (status >= 100 && status < 200 && status != 101) state_ = State::kHead;
  }
  return taken;
}

}  // namespace web
