// CUDPMap: the session of a UDP mapped link. The dispatcher starts one on a mapping's first
// datagram and stops watching the mapping's socket; the session then owns that socket,
// forwards datagrams to the mapping's destination and the replies to whichever client sent
// last, and hands the socket back to the dispatcher's target when it ends. Owned by its own
// thread (auto-deleting); nothing else touches its members.
#pragma once

#include <netinet/in.h>

#include "gateway/engine/session_thread.h"

namespace proxies {

inline constexpr uintptr_t kUdpIdleTimerId = 98;

class CUDPMap : public engine::SessionThread {
 public:
  // listening: the mapping's datagram socket, no longer selected by anyone; netmsg: the target
  // that gets it back (kMsgUdpMappedRead, FD_READ); idle_timeout: seconds, -1 for none.
  CUDPMap(platform::Socket listening, platform::TargetId netmsg, int idle_timeout);
  ~CUDPMap() override;

 protected:
  bool InitInstance() override;
  bool PreTranslateMessage(platform::Message& msg) override;
  bool OnIdle(long count) override;
  int ExitInstance() override;

 private:
  // Each returns false when a socket error must end the session.
  bool ClientToDestination();
  bool DestinationToClient();
  void End();
  // Takes the datagram that started a session which could not forward it off the socket.
  void DropWaitingDatagram();
  void HandBack();

  platform::TargetId netmsg_;
  sockaddr_storage client_{};  // the last sender, AF_UNSPEC until one was heard
  bool busy_ = false;
  bool ending_ = false;
  bool handed_back_ = false;
};

}  // namespace proxies
