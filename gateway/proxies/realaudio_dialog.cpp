// Opcodes, reply texts and the bounded message read of the RealAudio dialogue.
#include "gateway/proxies/realaudio_dialog.h"

#include <chrono>
#include <cstring>

#include "gateway/engine/opening_wait.h"
#include "platform/socket_errors.h"

namespace proxies {
namespace {

constexpr uint8_t kReplyType = 6;
constexpr const char* kReplyTexts[] = {
    "SUCCESS connected to Real Audio Server.",
    "Could NOT connect to Real Audio Server.",
    "BAD information was passed in the proxy dialog.",
    "Bad Proxy Version.",
    "Unexpected Proxy Opcode.",
};

// The 2 bytes after the opcode in network order; bytes the message lacks count as zero.
uint16_t Argument16(std::span<const uint8_t> body) {
  uint8_t hi = body.size() > 1 ? body[1] : 0;
  uint8_t lo = body.size() > 2 ? body[2] : 0;
  return static_cast<uint16_t>((hi << 8) | lo);
}

// Reads exactly n bytes, each wait for data bounded by the time left of wait_ms.
int ReadExactly(platform::Socket s, uint8_t* out, size_t n, int wait_ms) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  size_t got = 0;
  while (got < n) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    // The wait takes the session's messages: a kill ends it at once.
    if (left.count() <= 0 || engine::WaitInOpening(s, false, static_cast<int>(left.count())) !=
                                 engine::WaitResult::kReady) {
      return -1;
    }
    int r = platform::Recv(s, out + got, n - got);
    if (r == 0) return -1;
    if (r < 0) {
      if (platform::LastSocketError() == platform::kWsaEWouldBlock) continue;
      return -1;
    }
    got += static_cast<size_t>(r);
  }
  return 0;
}

}  // namespace

int TakeDialogueMessage(std::span<const uint8_t> body, RealAudioRequest* req, int* reply_code) {
  // An empty body reads as opcode 0, as the terminated buffer it was taken from did.
  uint8_t opcode = body.empty() ? 0 : body[0];
  if (!req->first_seen) {
    req->first_seen = true;
    if (opcode == 1) return kDialogueContinue;
    *reply_code = kReplyBadVersion;
    return kDialogueRefuse;
  }
  switch (opcode) {
    case 0: {
      // TCP transport together with a UDP port offset is refused.
      int offset_flag = req->offset_given ? 1 : 0;
      if (req->host_given && req->port_given && req->transport_given &&
          req->transport != offset_flag) {
        return kDialogueGo;
      }
      *reply_code = kReplyBadInformation;
      return kDialogueRefuse;
    }
    case 2: {
      auto text = body.subspan(1);
      const void* nul = std::memchr(text.data(), 0, text.size());
      size_t len =
          nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - text.data()) : text.size();
      req->host.assign(reinterpret_cast<const char*>(text.data()), len);
      req->host_given = true;
      return kDialogueContinue;
    }
    case 3:
      req->port = Argument16(body);
      req->port_given = true;
      return kDialogueContinue;
    case 4:
      req->udp_offset = Argument16(body);
      req->offset_given = true;
      return kDialogueContinue;
    case 5:
      req->transport = body.size() > 1 && body[1] == 1 ? kTransportTcp : kTransportUdp;
      req->transport_given = true;
      return kDialogueContinue;
    case 6:
      return kDialogueContinue;
    default:  // a second hello among them
      *reply_code = kReplyUnexpectedOpcode;
      return kDialogueRefuse;
  }
}

std::vector<uint8_t> RealAudioReply(int code) {
  const char* text = kReplyTexts[code >= 0 && code <= 4 ? code : kReplyUnexpectedOpcode];
  size_t len = std::strlen(text);
  uint16_t field = static_cast<uint16_t>(len + 1);
  std::vector<uint8_t> out(4 + len - 1);
  out[0] = static_cast<uint8_t>(field >> 8);
  out[1] = static_cast<uint8_t>(field & 0xFF);
  out[2] = kReplyType;
  out[3] = static_cast<uint8_t>(code);
  std::memcpy(out.data() + 4, text, len - 1);
  return out;
}

int ReadDialogueMessage(platform::Socket s, int wait_ms, std::vector<uint8_t>* body) {
  uint8_t length[2];
  if (ReadExactly(s, length, sizeof length, wait_ms) != 0) return -1;
  size_t n = static_cast<size_t>((length[0] << 8) | length[1]);
  if (n > kRealAudioBodyLimit) return -2;
  body->assign(n, 0);
  if (n > 0 && ReadExactly(s, body->data(), n, wait_ms) != 0) return -1;
  return 0;
}

}  // namespace proxies
