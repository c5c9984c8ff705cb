// Socket wrappers: Winsock error numbers, bounded connect, FIONREAD, name lookups.
#include "platform/socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include "platform/socket_errors.h"

namespace platform {
namespace {

TEST(Socket, RefusedConnectReportsWinsockNumber) {
  Socket probe = CreateSocket(SOCK_STREAM);
  ASSERT_EQ(BindLoopback(probe, 0), 0);
  uint16_t port = LocalPort(probe);
  CloseSocket(probe);  // bound but never listening: the port refuses
  Socket s = CreateSocket(SOCK_STREAM);
  EXPECT_EQ(Connect(s, "127.0.0.1", port, 2000), kSocketError);
  EXPECT_EQ(LastSocketError(), kWsaEConnRefused);
  CloseSocket(s);
}

TEST(Socket, SecondBindOfAPortIsAddressInUse) {
  Socket a = CreateSocket(SOCK_STREAM), b = CreateSocket(SOCK_STREAM);
  ASSERT_EQ(BindAny(a, 0), 0);
  ASSERT_EQ(Listen(a, 1), 0);
  EXPECT_EQ(BindAny(b, LocalPort(a)), kSocketError);
  EXPECT_EQ(LastSocketError(), kWsaEAddrInUse);
  CloseSocket(a);
  CloseSocket(b);
}

TEST(Socket, BytesWaitingAndPeerAddress) {
  Socket l = CreateSocket(SOCK_STREAM);
  ASSERT_EQ(BindLoopback(l, 0), 0);
  ASSERT_EQ(Listen(l, 1), 0);
  Socket c = CreateSocket(SOCK_STREAM);
  ASSERT_EQ(Connect(c, "127.0.0.1", LocalPort(l)), 0);
  Socket a = Accept(l);
  ASSERT_EQ(Send(c, "12345", 5), 5);
  ASSERT_EQ(WaitReadable(a, 2000), 1);
  unsigned long n = 0;
  ASSERT_EQ(BytesWaiting(a, &n), 0);
  EXPECT_EQ(n, 5u);
  std::string peer;
  ASSERT_TRUE(PeerAddress(a, &peer));
  EXPECT_EQ(peer, "127.0.0.1");
  EXPECT_EQ(WaitReadable(c, 10), 0) << "nothing to read times out";
  for (Socket s : {l, c, a}) CloseSocket(s);
  EXPECT_EQ(CloseSocket(kInvalidSocket), kSocketError);
}

TEST(Socket, LookupsOfLocalNamesAndUnknownNames) {
  std::string dotted, canonical;
  ASSERT_TRUE(LookupHost("localhost", &dotted, &canonical));
  EXPECT_EQ(dotted, "127.0.0.1");
  EXPECT_FALSE(canonical.empty());
  EXPECT_FALSE(LookupHost("no-such-host.invalid", &dotted, &canonical));
  EXPECT_EQ(LastSocketError() == kWsaHostNotFound || LastSocketError() == kWsaTryAgain, true);
  EXPECT_TRUE(IsDottedAddress("10.0.0.1"));
  EXPECT_FALSE(IsDottedAddress("10.0.0"));
  EXPECT_FALSE(IsDottedAddress("example.com"));
}

}  // namespace
}  // namespace platform
