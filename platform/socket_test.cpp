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

TEST(Socket, DualStackListenerShowsIpv4ClientsAsIpv4AndTakesIpv6Ones) {
  Socket l = CreateDualStackSocket(SOCK_STREAM);
  ASSERT_EQ(BindAny(l, 0), 0);
  ASSERT_EQ(Listen(l, 2), 0);
  Socket v4 = CreateSocket(SOCK_STREAM);
  ASSERT_EQ(Connect(v4, "127.0.0.1", LocalPort(l)), 0);
  sockaddr_in peer4{};
  Socket a4 = Accept(l, &peer4);
  ASSERT_NE(a4, kInvalidSocket);
  std::string text;
  ASSERT_TRUE(PeerAddress(a4, &text));
  EXPECT_EQ(text, "127.0.0.1");
  EXPECT_EQ(DottedAddress(peer4.sin_addr), "127.0.0.1");
  ASSERT_TRUE(LocalAddress(a4, &text));
  EXPECT_EQ(text, "127.0.0.1");
  Socket v6 = CreateSocket(SOCK_STREAM);
  sockaddr_storage to{};
  socklen_t length = 0;
  ASSERT_EQ(AddressFrom("::1", LocalPort(l), &to, &length), AF_INET6);
  ASSERT_EQ(MatchFamily(v6, AF_INET6), 0);
  EXPECT_EQ(SocketFamily(v6), AF_INET6);
  if (ConnectStart(v6, reinterpret_cast<sockaddr*>(&to), length) == 1) {
    ASSERT_EQ(WaitWritable(v6, 2000), 1);
  }
  ASSERT_EQ(ConnectResult(v6), 0);
  Socket a6 = Accept(l);
  ASSERT_TRUE(PeerAddress(a6, &text));
  EXPECT_EQ(text, "::1");
  for (Socket s : {l, v4, a4, v6, a6}) CloseSocket(s);
}

TEST(Socket, AddressTextsOfBothFamilies) {
  sockaddr_storage a{};
  socklen_t length = 0;
  EXPECT_EQ(AddressFrom("10.0.0.1", 80, &a, &length), AF_INET);
  EXPECT_EQ(AddressText(reinterpret_cast<sockaddr*>(&a)), "10.0.0.1");
  EXPECT_EQ(AddressFrom("::ffff:10.0.0.2", 80, &a, &length), AF_INET6);
  EXPECT_EQ(AddressText(reinterpret_cast<sockaddr*>(&a)), "10.0.0.2");
  EXPECT_EQ(AddressFrom("2001:DB8::0:1", 80, &a, &length), AF_INET6);
  EXPECT_EQ(AddressText(reinterpret_cast<sockaddr*>(&a)), "2001:db8::1");
  EXPECT_EQ(AddressFrom("[::1]", 80, &a, &length), AF_UNSPEC);
  EXPECT_EQ(AddressFrom("host", 80, &a, &length), AF_UNSPEC);
  EXPECT_TRUE(IsIpv6Text("::"));
  EXPECT_FALSE(IsIpv6Text("10.0.0.1"));
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
