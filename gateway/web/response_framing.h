// Where one origin response ends on a kept-alive client connection: its status line and
// header block, then a body framed by Content-Length or chunked, none at all (HEAD, 1xx, 204,
// 304), or everything until the server closes. Interim 1xx answers are followed by the real
// one. Each object belongs to one WWW session and is used by its thread only.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "gateway/engine/relay_session.h"
#include "gateway/web/request_framing.h"

namespace web {

// The largest response header block read for its framing; a longer one is passed on and the
// response is taken to end when the server closes.
inline constexpr size_t kMaxResponseHead = 64 * 1024;

class ResponseFraming : public engine::ResponseGate {
 public:
  // head_request: the answer is to a HEAD request and has no body whatever its headers say.
  explicit ResponseFraming(bool head_request) : head_request_(head_request) {}

  size_t TakeServerBytes(const char* data, size_t n) override;
  [[nodiscard]] bool Complete() const override { return state_ == State::kDone; }
  [[nodiscard]] bool ServerReusable() const override {
    return Complete() && server_persists_ && !overrun_;
  }
  [[nodiscard]] bool ClientMayContinue() const override { return Complete() && client_persists_; }

 private:
  enum class State { kHead, kBody, kUntilClose, kDone };
  // The header block (bytes [0, end) of head_) is complete: how its body is framed.
  void StartBody(size_t end);

  const bool head_request_;
  State state_ = State::kHead;
  std::string head_;  // the header block read so far, bounded by kMaxResponseHead
  std::unique_ptr<RequestFraming> body_;
  bool server_persists_ = false;
  bool client_persists_ = false;
  bool overrun_ = false;  // the server sent bytes past the answer
};

}  // namespace web
