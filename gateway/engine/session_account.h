// What the access log records of one session while it runs: where it went, how it ended and
// the bytes of its client-side sockets (a platform::ByteMeter, also read by the registry for
// the console). Owned by its session object; the session's thread binds it as that thread's
// current account, so code deep in an opening (the rule check, a kill seen while waiting)
// notes into it through the free functions below without a handle to the session.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/byte_meter.h"

namespace engine {

inline constexpr char kEndClosed[] = "closed";
inline constexpr char kEndIdle[] = "idle";
inline constexpr char kEndKilled[] = "killed";
inline constexpr char kEndDenied[] = "denied";
// A relay direction moved nothing for the stall limit while bytes waited.
inline constexpr char kEndStalled[] = "stalled";

class SessionAccount {
 public:
  SessionAccount() = default;
  ~SessionAccount();
  SessionAccount(const SessionAccount&) = delete;
  SessionAccount& operator=(const SessionAccount&) = delete;

  // Binds the account (and its meter) to the calling thread, the session's own, and starts
  // the clock. The client's sockets are metered with platform::MeterSocket afterwards.
  void Open(const std::string& client, const std::string& service);
  [[nodiscard]] const platform::ByteMeter& meter() const { return meter_; }
  // "host:port" (an IPv6 literal in brackets), or the mapping's name.
  void SetDestination(const std::string& destination) { destination_ = destination; }
  // How the session ended; the first note stands (a denial stays a denial when the close
  // follows), "closed" when none was made.
  void SetEnding(const std::string& ending);
  // Forgets a noted ending: the session went on after it (a second log-in that got through).
  void ClearEnding() { ending_.clear(); }
  // Logs what happened since the start or the last LogNow (one request of a connection that
  // carries several) and starts the next record: destination and ending cleared, clock reset.
  void LogNow();
  // The session is over: logs the last record, unless LogNow logged everything already, and
  // unbinds the account from the calling thread when it is bound there.
  void Close();

 private:
  bool open_ = false;
  bool logged_ = false;  // LogNow ran and nothing moved since
  std::string client_;
  std::string service_;
  std::string destination_;
  std::string ending_;
  std::chrono::steady_clock::time_point started_;
  platform::ByteMeter meter_;
  int64_t logged_from_ = 0;  // counts already logged by LogNow
  int64_t logged_to_ = 0;
};

// Notes for the calling thread's session; nothing happens on a thread without one.
void NoteSessionDestination(const std::string& host, int port);
void NoteSessionEnding(const std::string& ending);
// Logs the calling thread's session record now and starts the next (see LogNow).
void LogSessionRequest();
// A client refused before a session was made of it: a "denied" line of its own.
void LogRefusedClient(const std::string& client, const std::string& service);

}  // namespace engine
