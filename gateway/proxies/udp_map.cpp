// Forwarding of one UDP mapping, one datagram per read event in each direction.
#include "gateway/proxies/udp_map.h"

#include <sys/socket.h>

#include <string>
#include <vector>

#include "gateway/engine/client_filter.h"
#include "gateway/engine/dial_context.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"

namespace proxies {
namespace {

constexpr size_t kLargestDatagram = 65536;

// One datagram's length: FIONREAD reports the next datagram's size, bounded here.
bool PendingDatagram(platform::Socket s, size_t* size) {
  unsigned long count = 0;
  if (platform::BytesWaiting(s, &count) != 0) return false;
  *size = count < kLargestDatagram ? count : kLargestDatagram;
  return true;
}

}  // namespace

CUDPMap::CUDPMap(platform::Socket listening, platform::TargetId netmsg, int idle_timeout)
    : SessionThread(listening, idle_timeout, engine::kCodeUdpMappedLink), netmsg_(netmsg) {}

CUDPMap::~CUDPMap() { HandBack(); }

bool CUDPMap::InitInstance() {
  window_ = platform::CreateTarget();
  engine::DialContext dial;
  std::string address;
  int port = 0;
  auto resolve = [&dial](const std::string& name, std::string* dotted) {
    std::string canonical;
    return dial.ResolveTarget(name, dotted, &canonical);
  };
  bool ok = window_ != 0 &&
            engine::Services().MappedTargetFor(listening_socket_, &address, &port, resolve) == 0 &&
            !address.empty();
  if (ok) {
    server_socket_ = platform::CreateSocket(SOCK_DGRAM);
    ok = server_socket_ != platform::kInvalidSocket && dial.EnsureLink() == 0 &&
         platform::Connect(server_socket_, address, static_cast<uint16_t>(port)) == 0 &&
         platform::AsyncSelect(listening_socket_, window_, engine::kMsgUdpListenerDatagram,
                               platform::kFdRead) == 0 &&
         platform::AsyncSelect(server_socket_, window_, engine::kMsgUdpServerDatagram,
                               platform::kFdRead) == 0;
  }
  if (!ok) DropWaitingDatagram();
  return ok;
}

void CUDPMap::DropWaitingDatagram() {
  // Left in the socket, the datagram would be reported again at once and start session after
  // failing session without end; the client's retry is offered to a new session instead.
  platform::AsyncSelect(listening_socket_, window_, 0, 0);
  char drop[1];
  [[maybe_unused]] int n = platform::RecvFrom(listening_socket_, drop, sizeof drop, nullptr);
}

bool CUDPMap::OnIdle(long count) {
  ArmIdleTimer(kUdpIdleTimerId);
  return WorkerThread::OnIdle(count);
}

bool CUDPMap::PreTranslateMessage(platform::Message& msg) {
  if (ending_) return true;  // events still queued behind the decision to end
  bool ok = true;
  switch (msg.message) {
    case engine::kMsgUdpListenerDatagram:
      if (msg.target == window_) ok = ClientToDestination();
      break;
    case engine::kMsgUdpServerDatagram:
      if (msg.target == window_) ok = DestinationToClient();
      break;
    case platform::kWmTimer:
      if (msg.target == window_ && msg.wparam == kUdpIdleTimerId && !busy_) ok = false;
      break;
    case engine::kMsgKillSession:
      if (msg.target == 0) ok = false;
      break;
    default:
      break;
  }
  if (!ok) End();
  return true;
}

bool CUDPMap::ClientToDestination() {
  busy_ = true;
  KillIdleTimer();
  size_t size = 0;
  if (!PendingDatagram(listening_socket_, &size)) return false;
  // An empty datagram is read too (FIONREAD says 0 for it): left waiting it would be reported
  // again and again. It is not forwarded.
  std::vector<char> data(size > 0 ? size : 1);
  sockaddr_storage from{};
  int n = platform::RecvFromPeer(listening_socket_, data.data(), data.size(), &from);
  if (n < 0) return false;
  const auto* sender = reinterpret_cast<const sockaddr*>(&from);
  // While this session holds the listener, the filter at the dispatcher does not see its
  // datagrams: a sender outside AllowedClients is dropped here.
  if (!engine::AdmitClient(engine::ClientAddressOf(sender))) {
    busy_ = false;
    return true;
  }
  client_ = from;
  if (client_address_.empty()) {
    client_address_ = platform::AddressText(sender);
    [[maybe_unused]] int rc = Register(engine::kCodeUdpMappedLink);
  }
  if (n > 0 && platform::SendAll(server_socket_, data.data(), static_cast<size_t>(n)) != 0) {
    return false;
  }
  busy_ = false;
  return true;
}

bool CUDPMap::DestinationToClient() {
  busy_ = true;
  KillIdleTimer();
  size_t size = 0;
  if (!PendingDatagram(server_socket_, &size)) return false;
  std::vector<char> data(size > 0 ? size : 1);
  int n = platform::Recv(server_socket_, data.data(), data.size());
  if (n < 0) return false;
  if (n > 0 && client_.ss_family != AF_UNSPEC &&
      platform::SendToPeer(listening_socket_, data.data(), static_cast<size_t>(n), client_) < 0) {
    return false;
  }
  busy_ = false;
  return true;
}

void CUDPMap::End() {
  ending_ = true;
  platform::PostQuitMessage(0);
}

int CUDPMap::ExitInstance() {
  KillIdleTimer();
  Unregister();
  CloseSockets();
  HandBack();
  return 0;
}

void CUDPMap::HandBack() {
  if (handed_back_) return;
  handed_back_ = true;
  // The session's own selection ends with its target; then the dispatcher watches again, so
  // a datagram that arrived meanwhile is reported to it at once.
  if (window_ != 0) platform::DestroyTarget(window_);
  window_ = 0;
  if (netmsg_ != 0) {
    platform::AsyncSelect(listening_socket_, netmsg_, engine::kMsgUdpMappedRead, platform::kFdRead);
  }
}

}  // namespace proxies
