// Opening waits over the session's queue: a private target selects the one socket, and the
// thread's messages are sorted into the kill (kept) and the rest (queued again).
#include "gateway/engine/opening_wait.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <vector>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/session_account.h"
#include "platform/message_queue.h"
#include "platform/socket_errors.h"

namespace engine {
namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kMsgOpeningWait = kWmUser + 220;

thread_local bool t_killed = false;

int MsLeft(Clock::time_point end) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
  return static_cast<int>(std::max<long long>(left, 0));
}

// Waits for a message of target about s (0: none wanted) until end.
WaitResult WaitFor(platform::TargetId target, platform::Socket s, Clock::time_point end) {
  if (t_killed) return WaitResult::kKilled;
  std::vector<platform::Message> aside;
  WaitResult result = WaitResult::kTimedOut;
  for (;;) {
    platform::Message msg;
    if (!platform::GetMessageWithin(&msg, MsLeft(end))) break;
    if (msg.target == 0 && (msg.message == kMsgKillSession || msg.message == platform::kWmQuit)) {
      t_killed = true;
      NoteSessionEnding(kEndKilled);
      aside.push_back(msg);
      result = WaitResult::kKilled;
      break;
    }
    if (target != 0 && msg.target == target && msg.message == kMsgOpeningWait &&
        msg.wparam == static_cast<platform::Wparam>(s)) {
      result = WaitResult::kReady;
      break;
    }
    // Timers recur by themselves; everything else is kept for the session.
    if (msg.message != platform::kWmTimer) aside.push_back(msg);
    if (MsLeft(end) == 0) break;
  }
  for (const platform::Message& m : aside) {
    if (m.message == platform::kWmQuit) {
      platform::PostQuitMessage(static_cast<int>(m.wparam));
    } else if (m.target == 0) {
      platform::PostThreadMessage(platform::CurrentThreadId(), m.message, m.wparam, m.lparam);
    } else {
      platform::PostMessage(m.target, m.message, m.wparam, m.lparam);
    }
  }
  return result;
}

}  // namespace

OpeningDeadline::OpeningDeadline()
    : total_end_(Clock::now() + std::chrono::milliseconds(kOpeningTotalMs)),
      quiet_end_(Clock::now() + std::chrono::milliseconds(kOpeningQuietMs)) {}

void OpeningDeadline::Progress() {
  quiet_end_ = Clock::now() + std::chrono::milliseconds(kOpeningQuietMs);
}

int OpeningDeadline::LeftMs() const { return std::min(MsLeft(total_end_), MsLeft(quiet_end_)); }

WaitResult WaitInOpening(platform::Socket s, bool for_write, int timeout_ms) {
  if (t_killed) return WaitResult::kKilled;
  platform::TargetId target = platform::CreateTarget();
  // A listener reports its pending connection as FD_ACCEPT.
  long events =
      for_write ? platform::kFdWrite : platform::kFdRead | platform::kFdClose | platform::kFdAccept;
  auto end = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  WaitResult result = WaitResult::kTimedOut;
  if (target != 0 && platform::AsyncSelect(s, target, kMsgOpeningWait, events) == 0) {
    // Writability is reported like a blocked send's room coming back.
    if (for_write) platform::NoteSendBlocked(s);
    result = WaitFor(target, s, end);
    platform::AsyncSelect(s, target, 0, 0);
  }
  if (target != 0) platform::DestroyTarget(target);
  return result;
}

WaitResult PauseInOpening(int ms) {
  return WaitFor(0, platform::kInvalidSocket, Clock::now() + std::chrono::milliseconds(ms));
}

bool KilledInOpening() { return t_killed; }
void ClearOpeningKill() { t_killed = false; }

namespace {

int WaitForConnect(platform::Socket s, int started, int timeout_ms) {
  if (started <= 0) return started;
  // A near target (loopback, the LAN) has often answered before connect returned: then
  // there is nothing to wait for, and no round trip through the queue.
  if (platform::ConnectResult(s) == 0) return 0;
  if (platform::LastSocketError() != platform::kWsaENotConn) return platform::kSocketError;
  switch (WaitInOpening(s, true, timeout_ms)) {
    case WaitResult::kReady:
      return platform::ConnectResult(s);
    case WaitResult::kKilled:
      platform::SetLastSocketError(platform::kWsaEIntr);
      break;
    case WaitResult::kTimedOut:
      platform::SetLastSocketError(platform::kWsaETimedOut);
      break;
  }
  return platform::kSocketError;
}

}  // namespace

int ConnectInOpening(platform::Socket s, const sockaddr_in& to, int timeout_ms, bool renew) {
  if (renew && platform::RenewSocket(s) != 0) return platform::kSocketError;
  return WaitForConnect(s, platform::ConnectStart(s, to), timeout_ms);
}

int ConnectInOpening(platform::Socket s, const std::string& address, uint16_t port,
                     int timeout_ms) {
  sockaddr_storage to{};
  socklen_t length = 0;
  int family = platform::AddressFrom(address, port, &to, &length);
  if (family == AF_UNSPEC) {
    platform::SetLastSocketError(platform::kWsaEAddrNotAvail);
    return platform::kSocketError;
  }
  if (platform::MatchFamily(s, family) != 0) return platform::kSocketError;
  return WaitForConnect(
      s, platform::ConnectStart(s, reinterpret_cast<const sockaddr*>(&to), length), timeout_ms);
}

void DrainAfterAnswer(platform::Socket s) {
  constexpr int kDrainMs = 1000;
  constexpr size_t kDrainLimit = 256 * 1024;
  if (shutdown(s, SHUT_WR) != 0) return;
  auto end = Clock::now() + std::chrono::milliseconds(kDrainMs);
  size_t dropped = 0;
  char sink[4096];
  while (dropped < kDrainLimit && MsLeft(end) > 0) {
    if (WaitInOpening(s, false, MsLeft(end)) != WaitResult::kReady) return;
    int n = platform::Recv(s, sink, sizeof sink);
    if (n == 0) return;  // the client closed: nothing left to lose
    if (n < 0 && platform::LastSocketError() != platform::kWsaEWouldBlock) return;
    if (n > 0) dropped += static_cast<size_t>(n);
  }
}

}  // namespace engine
