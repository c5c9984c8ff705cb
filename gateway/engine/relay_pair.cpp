// The relay of both directions: pumping, closes passed on after the held bytes, failures and
// the stall watch.
#include "gateway/engine/relay_pair.h"

#include <sys/socket.h>

#include <algorithm>
#include <atomic>

namespace engine {
namespace {

// One pump moves at most this many holdings before the thread looks at its queue again, so a
// fast pair cannot keep the session's messages (a kill) waiting.
constexpr int kPumpRounds = 16;
constexpr auto kWatchPeriod = std::chrono::seconds(10);

std::atomic<long long> g_stall_limit_ms{
    std::chrono::duration_cast<std::chrono::milliseconds>(kRelayStallLimit).count()};

}  // namespace

void RelayPair::SetStallLimitForTesting(std::chrono::milliseconds limit) {
  g_stall_limit_ms.store(limit.count());
}

int RelayPair::Start(platform::Socket client, platform::Socket server, platform::TargetId target,
                     unsigned message) {
  target_ = target;
  message_ = message;
  stall_limit_ = std::chrono::milliseconds(g_stall_limit_ms.load());
  side_[kUp].dir.Set(client, server);
  side_[kDown].dir.Set(server, client);
  for (Dir d : {kUp, kDown}) {
    if (side_[d].dir.to() == platform::kInvalidSocket) {
      side_[d].dead = side_[d].source_done = side_[d].shut = true;
    }
  }
  for (platform::Socket s : {client, server}) {
    if (s != platform::kInvalidSocket &&
        platform::AsyncSelect(s, target, message, kRelayEvents) != 0) {
      return -1;
    }
  }
  return 0;
}

void RelayPair::ServeFile(int fd, off_t offset) {
  Side& down = side_[kDown];
  down.dir.SetFileSource(fd, offset);
  down.dead = down.source_done = down.shut = false;
  // Nothing announces a file's bytes: the first pump is asked for here.
  platform::PostMessage(target_, message_, static_cast<platform::Wparam>(down.dir.to()),
                        platform::MakeSelectLparam(platform::kFdWrite, 0));
}

RelayPair::Result RelayPair::OnSocketEvent(platform::Socket s, platform::Lparam lparam) {
  if (s == platform::kInvalidSocket) return Outcome();
  long event = platform::SelectEvent(lparam);
  if (platform::SelectError(lparam) != 0) {
    SideFailed(s);
    return Outcome();
  }
  for (Dir d : {kUp, kDown}) {
    Side& side = side_[d];
    bool from_here = side.dir.from() == s && !side.dir.file_source();
    if (event == platform::kFdWrite && side.dir.to() == s) Pump(d);
    if (event == platform::kFdRead && from_here) Pump(d);
    if (event == platform::kFdClose && from_here) {
      // FD_CLOSE comes only when no unread byte remains: the source is over.
      side.source_done = true;
      Pump(d);
    }
  }
  return Outcome();
}

void RelayPair::Pump(Dir d) {
  Side& side = side_[d];
  RelayInspector* inspector = inspector_[d];
  int round = 0;
  for (; round < kPumpRounds && !side.dead && !ended_ && !failed_; ++round) {
    bool hold = inspector && inspector->Holding() && !side.dir.full();
    if (side.dir.held() > 0 && !hold) {
      size_t sent = 0;
      RelayDirection::Write w = side.dir.Drain(&sent);
      if (sent > 0) Drained(d, sent);
      if (w == RelayDirection::Write::kFailed) return SideFailed(side.dir.to());
      if (w == RelayDirection::Write::kBlocked) return WatchStall(d);
      side.waiting = false;
    }
    if (side.source_done) break;
    bool inspecting = inspector && inspector->Inspecting();
    side.dir.set_inspect(inspecting);
    char* fresh = nullptr;
    size_t n = 0;
    RelayDirection::Read r = side.dir.Fill(&fresh, &n);
    if (r == RelayDirection::Read::kFailed) return SideFailed(side.dir.from());
    if (r == RelayDirection::Read::kNothing) break;  // the read event is armed again
    if (r == RelayDirection::Read::kEnd) side.source_done = true;
    if (r != RelayDirection::Read::kSome) continue;  // drains what is held, then leaves
    if (inspecting && fresh) {
      size_t keep = n;
      int verdict = inspector->Inspect(fresh, &keep);
      if (keep < n) side.dir.DropTail(n - keep);
      if (verdict == 0) {
        ended_ = true;
        return;
      }
      if (verdict == 1) side.last = side.source_done = true;
      if (verdict == 2) side.source_done = true;
      if (verdict == 3) side.last = side.source_done = side.shut = true;
    }
  }
  if (round == kPumpRounds && !side.dead) {
    // More may be waiting with no event to announce it: the pump goes on after the queue.
    platform::PostMessage(target_, message_, static_cast<platform::Wparam>(side.dir.to()),
                          platform::MakeSelectLparam(platform::kFdWrite, 0));
    return;
  }
  FinishIfClosed(d);
}

void RelayPair::FinishIfClosed(Dir d) {
  Side& side = side_[d];
  if (!side.source_done || side.shut || side.dead || side.dir.held() > 0) return;
  side.shut = true;
  // A client's close in a session that does not pass it on only ends what the client sends.
  if (pass_half_close_ || d == kDown) shutdown(side.dir.to(), SHUT_WR);
}

void RelayPair::Drained(Dir d, size_t) {
  active_ = true;
  side_[d].since = Clock::now();
}

void RelayPair::WatchStall(Dir d) {
  Side& side = side_[d];
  if (!side.waiting) {
    side.waiting = true;
    side.since = Clock::now();
  }
  if (watch_set_) return;
  auto period = std::min<std::chrono::milliseconds>(kWatchPeriod, stall_limit_ / 4);
  period = std::max<std::chrono::milliseconds>(period, std::chrono::milliseconds(10));
  watch_set_ = platform::SetTimer(target_, kRelayWatchTimer, static_cast<unsigned>(period.count()));
}

void RelayPair::SideFailed(platform::Socket s) {
  for (Dir d : {kUp, kDown}) {
    Side& side = side_[d];
    if (side.dir.to() == s && !side.dead) {
      side.dead = side.source_done = side.shut = true;
      side.waiting = false;
      side.dir.Drop();
    }
  }
  // What the failed side sent is still delivered to the other side.
  for (Dir d : {kUp, kDown}) {
    Side& side = side_[d];
    if (side.dir.from() == s && !side.dead) {
      side.source_failed = true;
      if (side.source_done) continue;
      side.source_done = true;
      Pump(d);
    }
  }
}

bool RelayPair::Complete(Dir d) const {
  const Side& side = side_[d];
  return side.dead || (side.source_done && side.shut && side.dir.held() == 0);
}

RelayPair::Result RelayPair::Outcome() const {
  if (failed_) return Result::kFailed;
  if (ended_) return Result::kDone;
  for (const Side& side : side_) {
    if (side.last && (side.dead || side.dir.held() == 0)) return Result::kDone;
  }
  bool done = pass_half_close_ ? Complete(kUp) && Complete(kDown) : Complete(kDown);
  return done ? Result::kDone : Result::kGoOn;
}

RelayPair::Result RelayPair::OnWatchTimer() {
  auto now = Clock::now();
  bool any = false;
  for (const Side& side : side_) {
    if (!side.waiting) continue;
    any = true;
    if (now - side.since >= stall_limit_) {
      failed_ = true;  // stuck, not slow: nothing moved for the whole limit
      return Result::kFailed;
    }
  }
  if (!any && watch_set_) {
    platform::KillTimer(target_, kRelayWatchTimer);
    watch_set_ = false;
  }
  return Outcome();
}

bool RelayPair::TakeActivity() {
  bool was = active_;
  active_ = false;
  return was;
}

bool RelayPair::ServerSideDelivered() const {
  const Side& down = side_[kDown];
  return down.source_done && !down.source_failed && !down.dead && down.dir.held() == 0;
}

void RelayPair::Stop() {
  if (watch_set_) platform::KillTimer(target_, kRelayWatchTimer);
  watch_set_ = false;
  for (Dir d : {kUp, kDown}) {
    platform::Socket s = side_[d].dir.from();
    if (s != platform::kInvalidSocket && !side_[d].dir.file_source()) {
      platform::AsyncSelect(s, target_, 0, 0);
    }
  }
}

}  // namespace engine
