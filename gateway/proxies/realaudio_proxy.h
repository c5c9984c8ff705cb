// CRealAudio: the session of one RealAudio player. It runs the set-up dialogue, connects to
// the server the player named, relays the TCP control stream both ways and, for UDP
// transport, receives the server's datagrams on a port of its own and forwards them to the
// player's UDP port. Owned by its own thread (auto-deleting); no idle time-out.
#pragma once

#include <netinet/in.h>

#include <vector>

#include "gateway/engine/relay_pair.h"
#include "gateway/engine/session_thread.h"
#include "gateway/proxies/realaudio_dialog.h"

namespace proxies {

// Longest wait for each part of one dialogue message before the player is given up.
inline constexpr int kDialogueWaitMs = 30000;

class CRealAudio : public engine::SessionThread, private engine::RelayInspector {
 public:
  explicit CRealAudio(platform::Socket listening);
  ~CRealAudio() override;

 protected:
  // The dialogue and the connection; true once relaying.
  bool InitInstance() override;
  int Run() override;
  int ExitInstance() override;

 private:
  // False when the dialogue ended the session (the reply, if any, was sent).
  bool RunDialogue(RealAudioRequest* req);
  bool ConnectServer(const RealAudioRequest& req);
  // Each returns false when the session must end.
  bool HandleMessage(const platform::Message& msg);
  // RelayInspector: the player's first request carries its UDP port, rewritten in place.
  bool Inspecting() override { return udp_setup_pending_; }
  int Inspect(char* data, size_t* n) override;
  bool UdpSetup(char* block, size_t n);
  bool UdpRelayStep(platform::Socket s);
  void Reply(int code);
  void CloseUdp();

  engine::RelayPair relay_;
  platform::Socket udp_server_ = platform::kInvalidSocket;
  platform::Socket udp_client_ = platform::kInvalidSocket;
  sockaddr_in player_udp_{};
  in_addr server_address_{};  // the only source the UDP relay takes datagrams from
  uint16_t udp_offset_ = 0;
  bool udp_setup_pending_ = false;
};

}  // namespace proxies
