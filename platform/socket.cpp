// BSD socket calls behind Winsock's names and error numbers. Stateless but for the
// thread-local last error.
#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/byte_meter.h"
#include "platform/message_queue.h"
#include "platform/socket_errors.h"

namespace platform {
namespace {

thread_local int t_last_error = 0;

int Fail(int err) {
  t_last_error = WinsockErrorFromErrno(err);
  return kSocketError;
}

// Retries a call interrupted by a signal; the gateway's signals must not fail a session.
template <typename F>
auto NoIntr(F f) {
  decltype(f()) r;
  do {
    r = f();
  } while (r < 0 && errno == EINTR);
  return r;
}

int WaitFor(Socket s, short events, int timeout_ms) {
  pollfd p{s, events, 0};
  int r = NoIntr([&] { return poll(&p, 1, timeout_ms); });
  if (r < 0) return Fail(errno);
  return r > 0 ? 1 : 0;
}

}  // namespace

int WinsockErrorFromErrno(int err) {
  switch (err) {
    case EINTR:
      return kWsaEIntr;
    case EBADF:
      return kWsaEBadf;
    case EACCES:
    case EPERM:
      return kWsaEAcces;
    case EFAULT:
      return kWsaEFault;
    case EMFILE:
    case ENFILE:
      return kWsaEMfile;
    case EAGAIN:
      return kWsaEWouldBlock;
    case EINPROGRESS:
    case EALREADY:
      return kWsaEInProgress;
    case ENOTSOCK:
      return kWsaENotSock;
    case EMSGSIZE:
      return kWsaEMsgSize;
    case EADDRINUSE:
      return kWsaEAddrInUse;
    case EADDRNOTAVAIL:
      return kWsaEAddrNotAvail;
    case ENETDOWN:
      return kWsaENetDown;
    case ENETUNREACH:
      return kWsaENetUnreach;
    case ECONNABORTED:
      return kWsaEConnAborted;
    case ECONNRESET:
    case EPIPE:
      return kWsaEConnReset;
    case ENOBUFS:
    case ENOMEM:
      return kWsaENoBufs;
    case ENOTCONN:
      return kWsaENotConn;
    case ESHUTDOWN:
      return kWsaEShutdown;
    case ETIMEDOUT:
      return kWsaETimedOut;
    case ECONNREFUSED:
      return kWsaEConnRefused;
    case EHOSTUNREACH:
      return kWsaEHostUnreach;
    default:
      return kWsaEInval;
  }
}

int LastSocketError() { return t_last_error; }
void SetLastSocketError(int error) { t_last_error = error; }

Socket CreateSocket(int type) {
  int proto = type == SOCK_DGRAM ? IPPROTO_UDP : IPPROTO_TCP;
  Socket s = socket(AF_INET, type | SOCK_CLOEXEC, proto);
  if (s < 0) return Fail(errno);
  return s;
}

// Gives s's descriptor number a fresh socket of family and of s's type.
static int ReplaceSocket(Socket s, int family) {
  int type = SOCK_STREAM;
  socklen_t len = sizeof type;
  if (getsockopt(s, SOL_SOCKET, SO_TYPE, &type, &len) != 0) return Fail(errno);
  int proto = type == SOCK_DGRAM ? IPPROTO_UDP : IPPROTO_TCP;
  Socket fresh = socket(family == AF_INET6 ? AF_INET6 : AF_INET, type | SOCK_CLOEXEC, proto);
  if (fresh < 0) return Fail(errno);
  ForgetSocket(s);
  int rc = dup3(fresh, s, O_CLOEXEC);
  int err = errno;
  close(fresh);
  if (rc < 0) return Fail(err);
  return 0;
}

Socket CreateDualStackSocket(int type) {
  int proto = type == SOCK_DGRAM ? IPPROTO_UDP : IPPROTO_TCP;
  Socket s = socket(AF_INET6, type | SOCK_CLOEXEC, proto);
  if (s < 0) return CreateSocket(type);  // a kernel without IPv6
  int off = 0;
  if (setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0) {
    close(s);
    return CreateSocket(type);
  }
  return s;
}

int SocketFamily(Socket s) {
  int family = AF_UNSPEC;
  socklen_t len = sizeof family;
  if (getsockopt(s, SOL_SOCKET, SO_DOMAIN, &family, &len) != 0) return AF_UNSPEC;
  return family;
}

static int BindTo(Socket s, in_addr_t address, uint16_t port) {
  int type = 0;
  socklen_t len = sizeof type;
  if (getsockopt(s, SOL_SOCKET, SO_TYPE, &type, &len) == 0 && type == SOCK_STREAM) {
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  }
  // A dual-stack socket binds the IPv6 wildcard, which takes IPv4 clients too; a machine
  // whose IPv6 is switched off takes IPv4 alone on the same descriptor.
  if (SocketFamily(s) == AF_INET6 && address == htonl(INADDR_ANY)) {
    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_addr = in6addr_any;
    a6.sin6_port = htons(port);
    if (bind(s, reinterpret_cast<sockaddr*>(&a6), sizeof a6) == 0) return 0;
    if (errno != EADDRNOTAVAIL && errno != EAFNOSUPPORT) return Fail(errno);
    if (MatchFamily(s, AF_INET) != 0) return kSocketError;
    return BindTo(s, address, port);
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = address;
  a.sin_port = htons(port);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Fail(errno);
  return 0;
}

int BindAny(Socket s, uint16_t port) { return BindTo(s, htonl(INADDR_ANY), port); }
int BindLoopback(Socket s, uint16_t port) { return BindTo(s, htonl(INADDR_LOOPBACK), port); }
int BindAddress(Socket s, const std::string& dotted, uint16_t port) {
  in_addr a{};
  if (inet_pton(AF_INET, dotted.c_str(), &a) != 1) return Fail(EINVAL);
  return BindTo(s, a.s_addr, port);
}

int SetNonBlocking(Socket s, bool on) {
  int value = on ? 1 : 0;  // one call, the other flags untouched
  if (ioctl(s, FIONBIO, &value) != 0) return Fail(errno);
  return 0;
}

int Listen(Socket s, int backlog) {
  if (listen(s, backlog > 0 ? backlog : 5) != 0) return Fail(errno);
  return 0;
}

Socket Accept(Socket listener, sockaddr_in* peer) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  Socket s = NoIntr(
      [&] { return accept4(listener, reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC); });
  int err = errno;
  NoteSocketCall(listener);
  if (s < 0) return Fail(err);
  if (peer && !AsIpv4(reinterpret_cast<const sockaddr*>(&a), peer)) *peer = sockaddr_in{};
  return s;
}

static int ConnectTo(Socket s, const sockaddr* to, socklen_t to_length, int timeout_ms) {
  int flags = fcntl(s, F_GETFL);
  fcntl(s, F_SETFL, flags | O_NONBLOCK);
  int r = connect(s, to, to_length);
  int err = r == 0 ? 0 : errno;
  if (err == EINPROGRESS) {
    int ready = WaitFor(s, POLLOUT, timeout_ms);
    if (ready == 0) {
      err = ETIMEDOUT;
    } else {
      socklen_t len = sizeof err;
      if (ready < 0 || getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    }
  }
  fcntl(s, F_SETFL, flags);
  if (err != 0) return Fail(err);
  return 0;
}

int ConnectStart(Socket s, const sockaddr_in& to) {
  return ConnectStart(s, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

int ConnectStart(Socket s, const sockaddr* to, socklen_t to_length) {
  if (SetNonBlocking(s, true) != 0) return kSocketError;
  if (connect(s, to, to_length) == 0) {
    [[maybe_unused]] int rc = SetNonBlocking(s, false);
    return 0;
  }
  if (errno == EINPROGRESS || errno == EINTR) return 1;
  return Fail(errno);
}

int ConnectResult(Socket s) {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
  if (err == 0) {
    sockaddr_storage peer{};
    socklen_t plen = sizeof peer;
    // Not yet connected (the wait ended early): reported as a time-out by the caller.
    if (getpeername(s, reinterpret_cast<sockaddr*>(&peer), &plen) != 0) return Fail(ENOTCONN);
    [[maybe_unused]] int rc = SetNonBlocking(s, false);
    return 0;
  }
  return Fail(err);
}

int RenewSocket(Socket s) { return ReplaceSocket(s, SocketFamily(s)); }

int MatchFamily(Socket s, int family) {
  return SocketFamily(s) == family ? 0 : ReplaceSocket(s, family);
}

int Connect(Socket s, const sockaddr_in& to, int timeout_ms) {
  return ConnectTo(s, reinterpret_cast<const sockaddr*>(&to), sizeof to, timeout_ms);
}

int Connect(Socket s, const std::string& dotted, uint16_t port, int timeout_ms) {
  sockaddr_storage a{};
  socklen_t length = 0;
  int family = AddressFrom(dotted, port, &a, &length);
  if (family == AF_UNSPEC) {
    t_last_error = kWsaEAddrNotAvail;
    return kSocketError;
  }
  if (MatchFamily(s, family) != 0) return kSocketError;
  return ConnectTo(s, reinterpret_cast<const sockaddr*>(&a), length, timeout_ms);
}

int Recv(Socket s, void* buf, size_t len, int flags) {
  ssize_t r = NoIntr([&] { return recv(s, buf, len, flags); });
  int err = errno;
  NoteSocketCall(s);
  if (r < 0) return Fail(err);
  if ((flags & MSG_PEEK) == 0) CountReceived(s, static_cast<size_t>(r));
  return static_cast<int>(r);
}

int Send(Socket s, const void* buf, size_t len, int flags) {
  ssize_t r = NoIntr([&] { return send(s, buf, len, flags | MSG_NOSIGNAL); });
  if (r < 0) {
    int err = errno;
    if (err == EAGAIN || err == ENOBUFS) NoteSendBlocked(s);
    return Fail(err);
  }
  CountSent(s, static_cast<size_t>(r));
  return static_cast<int>(r);
}

int RecvFrom(Socket s, void* buf, size_t len, sockaddr_in* from) {
  sockaddr_storage peer{};
  int n = RecvFromPeer(s, buf, len, &peer);
  // An IPv6 sender has no IPv4 address: its datagram comes with an empty one.
  if (n >= 0 && from) {
    *from = sockaddr_in{};
    if (peer.ss_family == AF_INET) std::memcpy(from, &peer, sizeof *from);
  }
  return n;
}

int SendTo(Socket s, const void* buf, size_t len, const sockaddr_in& to) {
  ssize_t r = NoIntr([&] {
    return sendto(s, buf, len, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  });
  if (r < 0) return Fail(errno);
  CountSent(s, static_cast<size_t>(r));
  return static_cast<int>(r);
}

int RecvFromPeer(Socket s, void* buf, size_t len, sockaddr_storage* from) {
  sockaddr_storage a{};
  socklen_t alen = sizeof a;
  ssize_t r =
      NoIntr([&] { return recvfrom(s, buf, len, 0, reinterpret_cast<sockaddr*>(&a), &alen); });
  int err = errno;
  NoteSocketCall(s);
  if (r < 0) return Fail(err);
  sockaddr_in v4{};
  if (AsIpv4(reinterpret_cast<const sockaddr*>(&a), &v4)) {
    *from = sockaddr_storage{};
    std::memcpy(from, &v4, sizeof v4);
  } else {
    *from = a;
  }
  CountReceived(s, static_cast<size_t>(r));
  return static_cast<int>(r);
}

int SendToPeer(Socket s, const void* buf, size_t len, const sockaddr_storage& to) {
  sockaddr_storage a = to;
  socklen_t alen = to.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  if (to.ss_family == AF_INET && SocketFamily(s) == AF_INET6) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(to);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&a);
    *v6 = sockaddr_in6{};
    v6->sin6_family = AF_INET6;
    v6->sin6_port = v4.sin_port;
    v6->sin6_addr.s6_addr[10] = 0xff;
    v6->sin6_addr.s6_addr[11] = 0xff;
    std::memcpy(v6->sin6_addr.s6_addr + 12, &v4.sin_addr, 4);
    alen = sizeof *v6;
  }
  ssize_t r = NoIntr([&] {
    return sendto(s, buf, len, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&a), alen);
  });
  if (r < 0) return Fail(errno);
  return static_cast<int>(r);
}

int SendAll(Socket s, const void* buf, size_t len, int attempts, int wait_ms) {
  const char* p = static_cast<const char*>(buf);
  int failures = 0;
  while (len > 0) {
    int n = Send(s, p, len);
    if (n > 0) {
      p += n;
      len -= static_cast<size_t>(n);
      continue;
    }
    int err = LastSocketError();
    if ((err != kWsaEWouldBlock && err != kWsaENoBufs) || ++failures >= attempts)
      return kSocketError;
    if (WaitWritable(s, wait_ms) < 0) return kSocketError;
  }
  return 0;
}

int BytesWaiting(Socket s, unsigned long* count) {
  int n = 0;
  if (ioctl(s, FIONREAD, &n) != 0) return Fail(errno);
  *count = static_cast<unsigned long>(n);
  return 0;
}

int WaitReadable(Socket s, int timeout_ms) { return WaitFor(s, POLLIN, timeout_ms); }
int WaitWritable(Socket s, int timeout_ms) { return WaitFor(s, POLLOUT, timeout_ms); }

int CloseSocket(Socket s) {
  if (s < 0) {
    t_last_error = kWsaENotSock;
    return kSocketError;
  }
  ForgetSocket(s);
  UnmeterSocket(s);
  if (close(s) != 0) return Fail(errno);
  return 0;
}

uint16_t LocalPort(Socket s) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  // The port stands at the same place in both families' addresses.
  return ntohs(reinterpret_cast<const sockaddr_in*>(&a)->sin_port);
}

bool LocalAddress(Socket s, std::string* dotted) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return false;
  *dotted = AddressText(reinterpret_cast<const sockaddr*>(&a));
  return !dotted->empty();
}

bool PeerAddress(Socket s, std::string* dotted) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (getpeername(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return false;
  *dotted = AddressText(reinterpret_cast<const sockaddr*>(&a));
  return !dotted->empty();
}

}  // namespace platform
