// Moving bytes: one relay step per socket event, the send rule for a congested peer, the
// holding of WWW response bytes while the cache reads the header, and the close rules.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <cstdlib>
#include <cstring>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/relay_openings.h"
#include "gateway/engine/relay_session.h"
#include "gateway/engine/service_catalogue.h"
#include "platform/socket_errors.h"

namespace engine {
namespace {

// A congested peer is waited for up to this many times this long per relay step.
constexpr int kSendTries = 10000;
constexpr int kSendWaitMs = 50;
// After the client left, the server is watched this often, this long each, for more data.
constexpr int kServerWatchTries = 50;
constexpr int kServerWatchMs = 1000;

struct FreeBuffer {
  void operator()(char* p) const { std::free(p); }
};

// The pipe is asked for this much room; the kernel may give less.
constexpr int kPipeBytes = 1 << 20;
constexpr unsigned kSpliceFlags = SPLICE_F_MOVE | SPLICE_F_NONBLOCK;

}  // namespace

RelayPipe::~RelayPipe() {
  for (int fd : fds_) {
    if (fd >= 0) close(fd);
  }
}

bool RelayPipe::Ready() {
  if (fds_[0] >= 0) return true;
  if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) {
    fds_[0] = fds_[1] = -1;
    return false;
  }
  int got = fcntl(fds_[1], F_SETPIPE_SZ, kPipeBytes);
  if (got <= 0) got = fcntl(fds_[1], F_GETPIPE_SZ);
  capacity_ = got > 0 ? static_cast<size_t>(got) : 65536;
  return true;
}

// Sends the n bytes in the pipe to peer with the same congestion rule as SendToPeer.
bool FmCsHttpService::DrainPipe(platform::Socket peer, size_t n) {
  int failures = 0;
  while (n > 0) {
    ssize_t out = splice(pipe_.read_end(), nullptr, peer, nullptr, n, kSpliceFlags);
    if (out > 0) {
      n -= static_cast<size_t>(out);
      bytes_sent_ += static_cast<unsigned long>(out);
      continue;
    }
    if (out < 0 && errno != EAGAIN && errno != ENOBUFS && errno != EINTR) return false;
    if (++failures >= kSendTries || platform::WaitWritable(peer, kSendWaitMs) < 0) return false;
  }
  return true;
}

int FmCsHttpService::SpliceWaiting(platform::Socket s, platform::Socket peer, unsigned long n) {
  if (!pipe_.Ready()) return 1;
  // Every byte waiting now is moved in this step, a pipe's worth at a time.
  while (n > 0) {
    ssize_t in = splice(s, nullptr, pipe_.write_end(), nullptr, std::min<size_t>(n, pipe_.capacity()),
                        kSpliceFlags);
    if (in <= 0) break;  // nothing more now (or an error the next event reports)
    n -= static_cast<unsigned long>(in);
    bytes_received_ += static_cast<unsigned long>(in);
    if (!DrainPipe(peer, static_cast<size_t>(in))) return -1;
  }
  platform::NoteSocketCall(s);  // reading re-arms the socket's read event, as recv does
  return 0;
}

bool FmCsHttpService::SendToPeer(platform::Socket peer, const char* data, size_t n) {
  int failures = 0;
  while (n > 0) {
    int sent = platform::Send(peer, data, n, MSG_DONTROUTE);
    if (sent < 0) {
      int err = platform::LastSocketError();
      if (err != platform::kWsaENoBufs && err != platform::kWsaEWouldBlock) return false;
      if (++failures >= kSendTries) return false;
      // Wait for room instead of sleeping blind: the same bound, no delay when ready.
      if (platform::WaitWritable(peer, kSendWaitMs) < 0) return false;
      continue;
    }
    n -= static_cast<size_t>(sent);
    data += sent;
    bytes_sent_ += static_cast<unsigned long>(sent);
  }
  return true;
}

// Sends the held bytes when the cache state allows it.
bool FmCsHttpService::FlushHeld() {
  if (cache_.state != kCacheStoring && cache_.state != kCachePassThrough) return true;
  if (!SendToPeer(client_socket_, holding_.get() + send_offset_, pending_ - send_offset_)) {
    return false;
  }
  pending_ = 0;
  send_offset_ = 0;
  return true;
}

// Response bytes of a WWW session: held while the cache inspects the header.
bool FmCsHttpService::RelayResponse(const char* data, size_t n) {
  if (pending_ + n > kHoldingBufferSize) {
    return FlushHeld() && SendToPeer(client_socket_, data, n);
  }
  std::memcpy(holding_.get() + pending_, data, n);
  pending_ += n;
  return FlushHeld();
}

bool FmCsHttpService::RelayData(platform::Socket s, platform::Lparam lparam) {
  active_ = true;
  if (platform::SelectEvent(lparam) == platform::kFdClose || platform::SelectError(lparam) != 0) {
    return HandleClose(s, platform::SelectError(lparam));
  }
  platform::Socket peer = s == client_socket_ ? server_socket_ : client_socket_;
  if (peer == platform::kInvalidSocket) return true;
  unsigned long waiting = 0;
  if (platform::BytesWaiting(s, &waiting) != 0) return false;
  bool from_server = s == server_socket_;
  bool www_response = service_code_ == kCodeWww && from_server && holding_;
  bool gated = request_gate_ && s == client_socket_;
  // Bytes nobody needs to look at go straight from socket to socket.
  if (!gated && (!www_response || (cache_.state == kCachePassThrough && pending_ == 0))) {
    int moved = SpliceWaiting(s, peer, waiting);
    if (moved != 1) return moved == 0;
  }
  std::unique_ptr<char, FreeBuffer> buffer(static_cast<char*>(std::malloc(waiting + 2)));
  if (!buffer) return false;
  buffer.get()[waiting] = buffer.get()[waiting + 1] = 0;
  int r = platform::Recv(s, buffer.get(), waiting);
  if (r < 0) return platform::LastSocketError() == platform::kWsaEWouldBlock;
  bytes_received_ += static_cast<unsigned long>(r);
  if (www_response && cache_.state != kCachePassThrough) {
    CacheHook* hook = GetCacheHook();
    if (hook && hook->CacheResponseChunk(*this, buffer.get(), static_cast<size_t>(r)) == 0) {
      return false;
    }
  }
  if (gated) {
    size_t own = request_gate_->TakeClientBytes(buffer.get(), static_cast<size_t>(r));
    // Bytes past the forwarded request would reach its server unchecked: the session ends.
    return SendToPeer(peer, buffer.get(), own) && own == static_cast<size_t>(r);
  }
  // No socket event is taken while the step sends: this thread does not read its queue
  // until the step is over, so the events stay armed as they are.
  bool ok = www_response ? RelayResponse(buffer.get(), static_cast<size_t>(r))
                         : SendToPeer(peer, buffer.get(), static_cast<size_t>(r));
  return ok;
}

bool FmCsHttpService::HandleClose(platform::Socket s, int error) {
  if (service_code_ == kCodeWww) {
    if (cache_.state != kCachePassThrough) ApplyCloseRules(s, error);
    return false;
  }
  // Other kinds pass an orderly half-close on and keep the other direction going.
  if (error != 0) return false;
  bool from_client = s == client_socket_;
  bool& this_side = from_client ? read_closed_client_ : read_closed_server_;
  bool other_side = from_client ? read_closed_server_ : read_closed_client_;
  platform::Socket peer = from_client ? server_socket_ : client_socket_;
  this_side = true;
  if (other_side || peer == platform::kInvalidSocket) return false;
  platform::AsyncSelect(s, window_, kMsgRelayEvent, 0);
  return shutdown(peer, SHUT_WR) == 0;
}

void FmCsHttpService::ApplyCloseRules(platform::Socket closing, int error) {
  CacheHook* hook = GetCacheHook();
  if (!hook) return;
  if (closing == server_socket_) {
    // Some of the response never reached the client: the file is not whole.
    if (bytes_received_ > bytes_sent_) {
      hook->DiscardCacheFile(*this);
    } else if (error == 0) {
      hook->ResponseEnded(*this);
    }
    return;
  }
  for (int i = 0; i < kServerWatchTries; ++i) {
    char probe[10];
    int n = platform::Recv(server_socket_, probe, sizeof probe);
    if (n > 0) break;  // the server still sends: the stored response would be cut
    if (n == 0) {
      hook->ResponseEnded(*this);
      return;
    }
    int err = platform::LastSocketError();
    if (err != platform::kWsaEWouldBlock && err != platform::kWsaENoBufs) return;
    if (platform::WaitReadable(server_socket_, kServerWatchMs) < 0) return;
  }
  hook->DiscardCacheFile(*this);
}

}  // namespace engine
