// Where one proxy request ends: its header block plus the body that Content-Length or the
// chunked framing announces. A WWW session forwards that much of its client's bytes and no
// more, so a second request on the same connection never reaches the first request's server
// unchecked. Each object belongs to one session and is used by its thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "gateway/engine/relay_session.h"

namespace web {

class RequestFraming : public engine::RequestGate {
 public:
  // Reads the framing from a complete header block. false when the block announces its body
  // in a way that cannot be read (a bad or contradictory Content-Length, an unknown
  // transfer coding).
  [[nodiscard]] bool Start(const std::string& head);

  // The leading part of data (n bytes) that still belongs to the request; every later byte is
  // another request's. A malformed chunked body ends the request where the fault is.
  size_t TakeClientBytes(const char* data, size_t n) override;

  // True once the whole body has been seen (at once for a request without a body).
  [[nodiscard]] bool complete() const override { return state_ == State::kDone; }

 private:
  enum class State { kLength, kChunkSize, kChunkData, kChunkDataEnd, kTrailer, kDone, kBroken };
  // Takes one byte of a chunk-size, chunk-end or trailer line; false when the framing broke.
  bool TakeLineByte(char c);
  bool EndChunkSizeLine();

  State state_ = State::kDone;
  uint64_t remaining_ = 0;  // body bytes (kLength) or chunk bytes (kChunkData) still due
  std::string line_;        // the line being read, bounded by kLineLimit
};

}  // namespace web
