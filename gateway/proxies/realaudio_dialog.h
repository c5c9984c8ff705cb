// The RealAudio proxy's set-up dialogue: reading one length-prefixed message with a bounded
// wait, the dialogue's rules over the opcodes, and the proxy's replies. Used by one CRealAudio
// session thread at a time; the functions keep no state of their own.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/socket.h"

namespace proxies {

inline constexpr size_t kRealAudioBodyLimit = 1024;
inline constexpr uint8_t kRealAudioHello[4] = {0, 2, 1, 1};
inline constexpr int kReplyConnected = 0;
inline constexpr int kReplyNotConnected = 1;
inline constexpr int kReplyBadInformation = 2;
inline constexpr int kReplyBadVersion = 3;
inline constexpr int kReplyUnexpectedOpcode = 4;
inline constexpr int kTransportTcp = 1;
inline constexpr int kTransportUdp = 2;

// What the player asked for, gathered over the dialogue.
struct RealAudioRequest {
  std::string host;
  uint16_t port = 0;
  uint16_t udp_offset = 0;
  int transport = 0;  // kTransportTcp or kTransportUdp once given
  bool first_seen = false;
  bool host_given = false;
  bool port_given = false;
  bool offset_given = false;
  bool transport_given = false;
};

// Results of TakeDialogueMessage.
inline constexpr int kDialogueContinue = 0;
inline constexpr int kDialogueGo = 1;
inline constexpr int kDialogueRefuse = -1;

// Applies one message body (opcode first) to req. kDialogueContinue, kDialogueGo (connect
// now), or kDialogueRefuse with the reply code to send before ending in *reply_code.
[[nodiscard]] int TakeDialogueMessage(std::span<const uint8_t> body, RealAudioRequest* req,
                                      int* reply_code);

// The whole reply for a code 0..4: length (text length + 1), type 6, the code, the text
// without its last character.
[[nodiscard]] std::vector<uint8_t> RealAudioReply(int code);

// Reads one message (2-byte length in network order, then the body) from s, waiting at most
// wait_ms for each part to arrive. 0 with the body; -1 on close, error or a wait that ran
// out; -2 for a length over kRealAudioBodyLimit (nothing of the body is read).
[[nodiscard]] int ReadDialogueMessage(platform::Socket s, int wait_ms,
                                      std::vector<uint8_t>* body);

}  // namespace proxies
