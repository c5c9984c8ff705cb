// Socket wrappers over BSD sockets that report Winsock's error numbers (LastSocketError) and
// keep AsyncSelect's re-enabling rules (recv and accept re-arm their events).
// A socket is owned by one thread at a time; the functions themselves are thread-safe.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using Socket = int;
inline constexpr Socket kInvalidSocket = -1;
inline constexpr int kSocketError = -1;

// The Winsock error of the calling thread's last failed call here.
[[nodiscard]] int LastSocketError();
void SetLastSocketError(int error);

// SOCK_STREAM or SOCK_DGRAM over IPv4. kInvalidSocket on failure.
[[nodiscard]] Socket CreateSocket(int type);
// A listener's socket: IPv6 with IPV6_V6ONLY off, so it takes IPv4 clients too (their
// addresses arrive IPv4-mapped); an IPv4 socket on a machine without IPv6. BindAny on it
// binds the IPv6 wildcard, or falls back to IPv4 when IPv6 is switched off.
[[nodiscard]] Socket CreateDualStackSocket(int type);
// AF_INET or AF_INET6 (AF_UNSPEC when s is no socket).
[[nodiscard]] int SocketFamily(Socket s);
// Gives s's descriptor number a fresh socket of family (same type) unless s already is one,
// so a connect can go to an address of either family. 0 or kSocketError.
[[nodiscard]] int MatchFamily(Socket s, int family);
// Binds to every local address (INADDR_ANY) on port (0: any free port), SO_REUSEADDR for
// stream sockets so a restart does not wait out TIME_WAIT. 0 or kSocketError.
[[nodiscard]] int BindAny(Socket s, uint16_t port);
// Binds to 127.0.0.1 (tests and local helpers).
[[nodiscard]] int BindLoopback(Socket s, uint16_t port);
// Binds to one local dotted address. 0 or kSocketError.
[[nodiscard]] int BindAddress(Socket s, const std::string& dotted, uint16_t port);
[[nodiscard]] int Listen(Socket s, int backlog);
// ioctlsocket(FIONBIO): a non-blocking socket's recv and accept fail with kWsaEWouldBlock
// instead of waiting. 0 or kSocketError.
[[nodiscard]] int SetNonBlocking(Socket s, bool on);
// Accepts one connection; the new socket is blocking. *peer is the IPv4 (or IPv4-mapped)
// peer, all zero for an IPv6 one. kInvalidSocket on failure (kWsaEWouldBlock when none is
// pending on a non-blocking listener).
[[nodiscard]] Socket Accept(Socket listener, sockaddr_in* peer = nullptr);
// Connects to the sockaddr, or to a dotted IPv4 address or IPv6 text (s is made a socket of
// its family first), within timeout_ms (a blocking Winsock connect gives up after about 21 s
// with WSAETIMEDOUT). 0 or kSocketError.
[[nodiscard]] int Connect(Socket s, const sockaddr_in& to, int timeout_ms = 21000);
[[nodiscard]] int Connect(Socket s, const std::string& dotted, uint16_t port,
                          int timeout_ms = 21000);
// A connect that does not wait: 0 connected, 1 under way (the socket turns writable when it
// is over; ConnectResult then tells how it went), kSocketError with the error set. A
// connected socket is blocking again, as after Connect.
[[nodiscard]] int ConnectStart(Socket s, const sockaddr_in& to);
// The same for any address family (to_length bytes at to).
[[nodiscard]] int ConnectStart(Socket s, const sockaddr* to, socklen_t to_length);
[[nodiscard]] int ConnectResult(Socket s);
// Gives s's descriptor number a fresh, unconnected socket of the same type, so a connect can
// be tried again after a failed or timed-out attempt. 0 or kSocketError.
[[nodiscard]] int RenewSocket(Socket s);
// recv/send; count or kSocketError (0 from Recv: orderly close).
[[nodiscard]] int Recv(Socket s, void* buf, size_t len, int flags = 0);
[[nodiscard]] int Send(Socket s, const void* buf, size_t len, int flags = 0);
[[nodiscard]] int RecvFrom(Socket s, void* buf, size_t len, sockaddr_in* from);
[[nodiscard]] int SendTo(Socket s, const void* buf, size_t len, const sockaddr_in& to);
// The same for a peer of either family, on a socket of either family (an IPv4 peer of a
// dual-stack socket is reached at its IPv4-mapped address). *from of an IPv4 or IPv4-mapped
// sender is the IPv4 address.
[[nodiscard]] int RecvFromPeer(Socket s, void* buf, size_t len, sockaddr_storage* from);
[[nodiscard]] int SendToPeer(Socket s, const void* buf, size_t len, const sockaddr_storage& to);
// Sends all of len bytes, riding out a full buffer by waiting for writability up to
// attempts times wait_ms each. 0, or kSocketError with the error set.
[[nodiscard]] int SendAll(Socket s, const void* buf, size_t len, int attempts = 100,
                          int wait_ms = 50);
// FIONREAD: bytes waiting (a datagram socket: size of the next datagram). 0 or kSocketError.
[[nodiscard]] int BytesWaiting(Socket s, unsigned long* count);
// Waits until s is readable (or writable) for at most timeout_ms. 1 ready, 0 timed out,
// kSocketError on error.
[[nodiscard]] int WaitReadable(Socket s, int timeout_ms);
[[nodiscard]] int WaitWritable(Socket s, int timeout_ms);
int CloseSocket(Socket s);
// Local port of a bound socket (0 on failure).
[[nodiscard]] uint16_t LocalPort(Socket s);
// getsockname as text (AddressText); false when not bound.
[[nodiscard]] bool LocalAddress(Socket s, std::string* dotted);
// getpeername as text (AddressText); false when not connected.
[[nodiscard]] bool PeerAddress(Socket s, std::string* dotted);
// An IPv4 address, or an IPv4-mapped IPv6 one, as the IPv4 address it stands for. false for
// other addresses.
[[nodiscard]] bool AsIpv4(const sockaddr* address, sockaddr_in* v4);
// Dotted text for IPv4 and IPv4-mapped addresses, IPv6 text for the rest ("" for others).
[[nodiscard]] std::string AddressText(const sockaddr* address);
[[nodiscard]] bool IsDottedAddress(const std::string& text);
// IPv6 text without brackets ("2001:db8::1").
[[nodiscard]] bool IsIpv6Text(const std::string& text);
// Dotted or IPv6 text and port as a socket address: AF_INET, AF_INET6, or AF_UNSPEC when
// text is neither.
[[nodiscard]] int AddressFrom(const std::string& text, uint16_t port, sockaddr_storage* to,
                              socklen_t* length);
[[nodiscard]] std::string DottedAddress(const in_addr& address);

// gethostbyname: first IPv4 address as dotted text and the official (canonical) name.
// false with kWsaHostNotFound (or kWsaTryAgain) when the name does not resolve.
[[nodiscard]] bool LookupHost(const std::string& name, std::string* dotted, std::string* canonical);
// gethostbyaddr: the name of a dotted address; false when there is none.
[[nodiscard]] bool LookupAddress(const std::string& dotted, std::string* name);

}  // namespace platform
