// The FTP data listener's accept: only the expected peer gets in, others are closed.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "gateway/proxies/ftp_proxy.h"

namespace proxies {
namespace {

// A connection to the listener's port from the local address from.
int ConnectFrom(const char* from, uint16_t port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  inet_pton(AF_INET, from, &a.sin_addr);
  EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  a.sin_port = htons(port);
  inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
  EXPECT_EQ(connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  return s;
}

TEST(FtpDataListener, AdmitsOnlyTheExpectedPeerAndClosesOthers) {
  platform::Socket listener = OpenDataListener("127.0.0.1");
  ASSERT_NE(listener, platform::kInvalidSocket);
  uint16_t port = platform::LocalPort(listener);
  int intruder = ConnectFrom("127.0.0.7", port);
  int expected = ConnectFrom("127.0.0.1", port);
  platform::Socket accepted = AcceptFrom(listener, "127.0.0.1", 5000);
  ASSERT_NE(accepted, platform::kInvalidSocket);
  std::string peer;
  ASSERT_TRUE(platform::PeerAddress(accepted, &peer));
  EXPECT_EQ(peer, "127.0.0.1");
  char byte = 0;
  EXPECT_LE(recv(intruder, &byte, 1, 0), 0);  // closed without a byte
  // Nobody else comes: the wait ends at its bound.
  EXPECT_EQ(AcceptFrom(listener, "127.0.0.1", 100), platform::kInvalidSocket);
  platform::CloseSocket(accepted);
  platform::CloseSocket(listener);
  close(intruder);
  close(expected);
}

}  // namespace
}  // namespace proxies
