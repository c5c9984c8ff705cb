// The RealAudio session: dialogue, connect, TCP relay and the UDP datagram relay.
#include "gateway/proxies/realaudio_proxy.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/dial_context.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/opening_wait.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/session_account.h"
#include "gateway/engine/target_guard.h"
#include "platform/byte_meter.h"
#include "platform/socket_errors.h"

namespace proxies {
namespace {

constexpr char kRealAudioEndNoHost[] = "host not found";
constexpr char kRealAudioEndNoConnect[] = "connect failed";

constexpr size_t kDatagramLimit = 65536;

}  // namespace

CRealAudio::CRealAudio(platform::Socket listening)
    : SessionThread(listening, -1, engine::kCodeRealAudio) {}

CRealAudio::~CRealAudio() { CloseUdp(); }

void CRealAudio::Reply(int code) {
  std::vector<uint8_t> reply = RealAudioReply(code);
  [[maybe_unused]] int rc = platform::SendAll(client_socket_, reply.data(), reply.size());
}

bool CRealAudio::InitInstance() {
  if (!AcceptClient()) return false;
  [[maybe_unused]] int rc = Register(engine::kCodeRealAudio);
  if (platform::SendAll(client_socket_, kRealAudioHello, sizeof kRealAudioHello) != 0) {
    return false;
  }
  RealAudioRequest req;
  if (!RunDialogue(&req) || !ConnectServer(req)) return false;
  udp_offset_ = req.udp_offset;
  udp_setup_pending_ = req.transport == kTransportUdp;
  // Whatever the player sent behind its go is reported by the selection at once.
  if (udp_setup_pending_) relay_.SetInspector(engine::RelayPair::kUp, this);
  return relay_.Start(client_socket_, server_socket_, window_, engine::kMsgProxyClientEvent) == 0;
}

bool CRealAudio::RunDialogue(RealAudioRequest* req) {
  std::vector<uint8_t> body;
  // Each message has its own wait, and the whole dialogue the opening's bound: a player that
  // trickles messages cannot hold its thread for ever.
  engine::OpeningDeadline deadline;
  for (;;) {
    int wait_ms = std::min(kDialogueWaitMs, deadline.LeftMs());
    if (wait_ms <= 0) return false;
    int rc = ReadDialogueMessage(client_socket_, wait_ms, &body);
    deadline.Progress();
    if (rc == -2) {
      // Longer than any set-up message can be: refused instead of overrunning the buffer.
      Reply(kReplyBadInformation);
      return false;
    }
    if (rc != 0) return false;
    int code = 0;
    int step = TakeDialogueMessage(body, req, &code);
    if (step == kDialogueGo) return true;
    if (step == kDialogueRefuse) {
      Reply(code);
      return false;
    }
  }
}

bool CRealAudio::ConnectServer(const RealAudioRequest& req) {
  server_socket_ = platform::CreateSocket(SOCK_STREAM);
  if (server_socket_ == platform::kInvalidSocket) return false;
  std::string address = req.host;
  engine::NoteSessionDestination(req.host, req.port);
  if (!platform::IsDottedAddress(address)) {
    std::string canonical;
    if (engine::DialContext().ResolveHost(req.host, &address, &canonical) != 0) {
      engine::NoteSessionEnding(kRealAudioEndNoHost);
      Reply(kReplyBadInformation);
      return false;
    }
  }
  // The rules for the RealAudio service, and the gateway's own addresses, apply to the server
  // the player names; a refusal is answered as bad connection information.
  if (engine::CheckAccess(engine::kMatchByAddress, engine::RuleNumberFor(engine::kCodeRealAudio),
                          client_address_, address, "") != 0 ||
      engine::TargetRefused(client_address_, address, req.port) ||
      inet_pton(AF_INET, address.c_str(), &server_address_) != 1) {
    Reply(kReplyBadInformation);
    return false;
  }
  if (engine::ConnectInOpening(server_socket_, address, req.port) != 0) {
    engine::NoteSessionEnding(kRealAudioEndNoConnect);
    Reply(kReplyNotConnected);
    return false;
  }
  Reply(kReplyConnected);
  return true;
}

int CRealAudio::Run() {
  platform::Message msg;
  while (platform::GetMessage(&msg) && HandleMessage(msg)) {
  }
  return ExitInstance();
}

bool CRealAudio::HandleMessage(const platform::Message& msg) {
  auto s = static_cast<platform::Socket>(msg.wparam);
  switch (msg.message) {
    case engine::kMsgProxyClientEvent:
      return msg.target != window_ ||
             relay_.OnSocketEvent(s, msg.lparam) == engine::RelayPair::Result::kGoOn;
    case platform::kWmTimer:
      if (msg.target != window_ || msg.wparam != engine::kRelayWatchTimer ||
          relay_.OnWatchTimer() == engine::RelayPair::Result::kGoOn) {
        return true;
      }
      engine::NoteSessionEnding(engine::kEndStalled);
      return false;
    case engine::kMsgRealAudioDatagram:
      return msg.target != window_ || UdpRelayStep(s);
    case engine::kMsgKillSession:
      if (msg.target != 0) return true;
      NoteKilled();
      return false;
    default:
      return true;
  }
}

int CRealAudio::Inspect(char* data, size_t* n) {
  udp_setup_pending_ = false;
  return UdpSetup(data, *n) ? -1 : 0;
}

bool CRealAudio::UdpSetup(char* block, size_t n) {
  // The two bytes at the offset must lie inside the block; otherwise the request is not one
  // the proxy can rewrite, and the session ends rather than write past it.
  if (static_cast<size_t>(udp_offset_) + 2 > n) return false;
  char* at = block + udp_offset_;
  uint16_t player_port = 0;
  std::memcpy(&player_port, at, 2);  // network order, kept as it is
  std::string player_ip;
  udp_server_ = platform::CreateSocket(SOCK_DGRAM);
  udp_client_ = platform::CreateSocket(SOCK_DGRAM);
  if (udp_server_ == platform::kInvalidSocket || udp_client_ == platform::kInvalidSocket ||
      platform::BindAny(udp_server_, 0) != 0 || platform::BindAny(udp_client_, 0) != 0 ||
      !platform::PeerAddress(client_socket_, &player_ip)) {
    return false;
  }
  uint16_t own_port = htons(platform::LocalPort(udp_server_));
  if (own_port == 0) return false;
  std::memcpy(at, &own_port, 2);
  platform::MeterSocket(udp_client_);  // the datagrams to the player count as sent to it
  player_udp_.sin_family = AF_INET;
  player_udp_.sin_port = player_port;
  if (inet_pton(AF_INET, player_ip.c_str(), &player_udp_.sin_addr) != 1) return false;
  for (platform::Socket s : {udp_server_, udp_client_}) {
    if (platform::AsyncSelect(s, window_, engine::kMsgRealAudioDatagram, platform::kFdRead) != 0) {
      return false;
    }
  }
  return true;
}

bool CRealAudio::UdpRelayStep(platform::Socket s) {
  if (s == udp_client_ && s != platform::kInvalidSocket) {
    // The player answered on the forwarding socket: the UDP relay stops, TCP goes on. A
    // datagram from anyone else is dropped.
    char drop[1];
    sockaddr_in source{};
    int n = platform::RecvFrom(s, drop, sizeof drop, &source);
    if (n >= 0 && source.sin_addr.s_addr != player_udp_.sin_addr.s_addr) return true;
    CloseUdp();
    return true;
  }
  if (s != udp_server_ || s == platform::kInvalidSocket) return true;
  unsigned long count = 0;
  if (platform::BytesWaiting(s, &count) != 0) return false;
  // An empty datagram (FIONREAD 0) is read as well, so it cannot stay and be reported again.
  std::vector<char> datagram(count > 0 ? (count < kDatagramLimit ? count : kDatagramLimit) : 1);
  sockaddr_in source{};
  int n = platform::RecvFrom(s, datagram.data(), datagram.size(), &source);
  if (n < 0) return platform::LastSocketError() == platform::kWsaEWouldBlock;
  // Only the server's datagrams are relayed; anyone else's are dropped.
  if (n == 0 || source.sin_addr.s_addr != server_address_.s_addr) return true;
  return platform::SendTo(udp_client_, datagram.data(), static_cast<size_t>(n), player_udp_) >= 0;
}

void CRealAudio::CloseUdp() {
  for (platform::Socket* s : {&udp_server_, &udp_client_}) {
    if (*s != platform::kInvalidSocket) platform::CloseSocket(*s);
    *s = platform::kInvalidSocket;
  }
}

int CRealAudio::ExitInstance() {
  CloseUdp();
  Unregister();
  CloseSockets();
  return 0;
}

}  // namespace proxies
