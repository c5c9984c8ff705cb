// The access log: one line per ended session, handed over without blocking and written by one
// writer thread. Line format (space-separated, a blank or '%' inside a field percent-encoded,
// "-" for an empty field):
//   END DURATION CLIENT SERVICE DESTINATION FROM_CLIENT TO_CLIENT ENDING
// END is ISO 8601 UTC with milliseconds, DURATION seconds with milliseconds, the byte counts
// decimal or "-" when the session kind does not count them. Submit may be called by any
// thread; the queue is bounded and a full queue drops the line and counts it. Under the
// service manager the writer also hands each line to the journal, without waiting for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/journal_sender.h"

namespace engine {

inline constexpr size_t kAccessLogQueueLines = 4096;
inline constexpr int64_t kUncounted = -1;

struct AccessRecord {
  std::chrono::system_clock::time_point ended;
  std::chrono::milliseconds duration{0};
  std::string client;
  std::string service;
  std::string destination;  // host:port, or the mapping name
  int64_t from_client = kUncounted;
  int64_t to_client = kUncounted;
  std::string ending;  // closed, idle, killed, denied, or an error text
};

// A field as it appears in a line: blanks, '%', control and non-ASCII bytes as %XX; an empty
// field (and a field that is exactly "-") distinguishable from each other.
[[nodiscard]] std::string EncodeAccessField(const std::string& text);
[[nodiscard]] std::string FormatAccessLine(const AccessRecord& record);

// Where the log goes: the Configuration value AccessLog when stored (empty: off, returns "");
// else $LOGS_DIRECTORY/access.log under a service manager, /var/log/wayfarer/access.log for
// root, $XDG_STATE_HOME/wayfarer/access.log otherwise.
[[nodiscard]] std::string AccessLogPath();

class AccessLog {
 public:
  explicit AccessLog(size_t capacity = kAccessLogQueueLines) : capacity_(capacity) {}
  ~AccessLog() { Stop(); }
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  // Opens path (its directory is made when missing) and starts the writer; under the service
  // manager (platform::UnderJournal) the lines also go to the journal. False when the file
  // cannot be opened (reported on stderr; the log stays off).
  bool Start(const std::string& path);
  // Writes what is queued, then ends the writer and closes the file.
  void Stop();
  // Queues one line; never waits for the writer. False when dropped (off or queue full).
  bool Submit(const AccessRecord& record);
  // The writer closes and reopens the file before its next write (after logrotate moved it).
  void Reopen();
  [[nodiscard]] uint64_t dropped() const;

 private:
  void WriterLoop();
  bool OpenFile();
  // The batch's lines (each with its line end) to the journal when it is open.
  void ToJournal(const std::deque<std::string>& lines);

  const size_t capacity_;
  std::string path_;  // set before the writer starts
  int fd_ = -1;       // writer thread only, once started
  mutable std::mutex mu_;
  std::condition_variable wake_;
  std::deque<std::string> queue_;    // guarded by mu_
  bool running_ = false;             // guarded by mu_
  bool reopen_ = false;              // guarded by mu_
  uint64_t dropped_ = 0;             // guarded by mu_
  uint64_t reported_dropped_ = 0;    // writer thread only
  platform::JournalSender journal_;  // opened before the writer starts, then its own
  uint64_t journal_lost_ = 0;        // writer thread only: lines the journal did not take
  std::thread writer_;
};

// The process-wide log the sessions write to.
AccessLog& TheAccessLog();
// A session ended: its line goes to the process-wide log.
void LogSessionEnd(const AccessRecord& record);
// The time from started until now; 0 for a start not yet reached.
[[nodiscard]] std::chrono::milliseconds AgeSince(std::chrono::steady_clock::time_point started);
// Starts the process-wide log at AccessLogPath() unless that is "" (off); it is flushed and
// closed at exit. Returns the path in use ("" when off or it could not be opened).
std::string StartProcessAccessLog();

}  // namespace engine
