// RelayPair: the full-duplex byte moving of every relaying session (mappings, WWW and its
// tunnels, SOCKS, POP3, Telnet, FTP data, RealAudio, answers from the cache). Each direction
// reads its source only as far as its destination can take; a congested destination stops
// only the source that feeds it (resumed by FD_WRITE), so the other direction and the
// session's messages keep moving. A close waits for the bytes held for the other side; a
// direction that makes no progress for the stall limit while bytes wait ends the pair.
// Owned and used by one session thread; its events arrive on that thread's target.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "gateway/engine/relay_direction.h"
#include "platform/message_queue.h"
#include "platform/socket.h"

namespace engine {

// A direction that moves nothing for this long while bytes wait for it ends the session.
inline constexpr std::chrono::seconds kRelayStallLimit{8 * 60};
// Timer id of the stall watch on the session's target (distinct from the idle timers).
inline constexpr uintptr_t kRelayWatchTimer = 0x52454C59;
// The events a relayed socket is selected for.
inline constexpr long kRelayEvents = platform::kFdRead | platform::kFdWrite | platform::kFdClose;

// Looks at the bytes of one direction before they are delivered (the web cache, RealAudio's
// port rewrite). Called on the session's thread.
class RelayInspector {
 public:
  virtual ~RelayInspector() = default;
  // True while bytes of the direction must be looked at (they then pass through a buffer).
  virtual bool Inspecting() = 0;
  // Bytes just read (*n of them), still held and writable in place. The inspector may shorten
  // *n: the rest is dropped. -1 goes on; 0 ends the session at once (the client has been
  // answered otherwise); 1 reads no more from this source and ends the session once what is
  // held was delivered; 2 reads no more from this source and goes on with the other one; 3 is
  // 1 without passing a close on (a whole answer on a connection that stays open).
  virtual int Inspect(char* data, size_t* n) = 0;
  // True while the bytes read must not be delivered yet (a full holding is delivered anyway).
  virtual bool Holding() { return false; }
};

class RelayPair {
 public:
  enum Dir { kUp = 0, kDown = 1 };  // up: client to server; down: server to client
  enum class Result { kGoOn, kDone, kFailed };

  RelayPair() = default;
  RelayPair(const RelayPair&) = delete;
  RelayPair& operator=(const RelayPair&) = delete;

  // Sets both sockets (either may be kInvalidSocket for a one-way relay) and selects them for
  // message on target. 0, or -1 when a selection failed.
  [[nodiscard]] int Start(platform::Socket client, platform::Socket server,
                          platform::TargetId target, unsigned message);
  // The down direction reads a file from offset instead of the server (an answer from the
  // cache); the session ends once all of it was delivered. Call after Start.
  void ServeFile(int fd, off_t offset);
  // Whether an orderly close of one side is passed on as a half-close (the default). Off: the
  // client's close only ends what it sends, and the pair is done once the server's side is.
  void set_pass_half_close(bool on) { pass_half_close_ = on; }
  void SetInspector(Dir d, RelayInspector* inspector) { inspector_[d] = inspector; }

  // One socket event of either side; kDone and kFailed end the session.
  [[nodiscard]] Result OnSocketEvent(platform::Socket s, platform::Lparam lparam);
  // The stall watch's timer.
  [[nodiscard]] Result OnWatchTimer();
  // Bytes were delivered since the last call (the idle timer's notion of activity).
  [[nodiscard]] bool TakeActivity();
  // Everything the server sent was read and delivered to the client.
  [[nodiscard]] bool ServerSideDelivered() const;
  [[nodiscard]] bool ServerClosed() const { return side_[kDown].source_done; }
  [[nodiscard]] size_t HeldFor(Dir d) const { return side_[d].dir.held(); }
  // Stops reading and selecting both sockets (the session closes them).
  void Stop();

  // Tests: a shorter stall limit for every pair started afterwards.
  static void SetStallLimitForTesting(std::chrono::milliseconds limit);

 private:
  using Clock = std::chrono::steady_clock;
  struct Side {
    RelayDirection dir;
    bool source_done = false;    // the source closed (or its reading is over)
    bool source_failed = false;  // ... by a failure, not in order
    bool shut = false;           // the close was passed on (or is not to be)
    bool dead = false;           // the destination failed: nothing more goes this way
    bool waiting = false;        // bytes wait for a congested destination
    bool last = false;           // the inspector ended this source: the session ends once drained
    Clock::time_point since;     // last progress while waiting
  };

  void Pump(Dir d);
  void Drained(Dir d, size_t sent);
  void SideFailed(platform::Socket s);
  void FinishIfClosed(Dir d);
  [[nodiscard]] bool Complete(Dir d) const;
  [[nodiscard]] Result Outcome() const;
  void WatchStall(Dir d);

  Side side_[2];
  RelayInspector* inspector_[2] = {nullptr, nullptr};
  platform::TargetId target_ = 0;
  unsigned message_ = 0;
  bool pass_half_close_ = true;
  bool watch_set_ = false;
  bool active_ = false;
  bool ended_ = false;   // an inspector ended the session
  bool failed_ = false;  // a failure that ends the session at once
  std::chrono::milliseconds stall_limit_{kRelayStallLimit};
};

}  // namespace engine
