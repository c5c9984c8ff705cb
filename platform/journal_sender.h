// Entries for the system journal over its native datagram protocol ("FIELD=value" lines, one
// entry per datagram), sent without ever waiting: a journal that cannot take an entry at once
// loses it. Owned and used by one thread (the access log's writer).
#pragma once

#include <string>

namespace platform {

// The journal's socket; the variable below replaces it for tests only.
inline constexpr char kJournalSocketPath[] = "/run/systemd/journal/socket";
inline constexpr char kJournalSocketTestVariable[] = "WAYFARER_TEST_JOURNAL_SOCKET";

// True when the process runs under the service manager with a journal: JOURNAL_STREAM is set,
// or the journal's socket exists and the service manager started the process.
[[nodiscard]] bool UnderJournal();

class JournalSender {
 public:
  JournalSender() = default;
  ~JournalSender() { Close(); }
  JournalSender(const JournalSender&) = delete;
  JournalSender& operator=(const JournalSender&) = delete;

  // Makes the socket the entries go through. False when none can be had.
  bool Open(const std::string& identifier);
  [[nodiscard]] bool is_open() const { return fd_ >= 0; }
  // One entry with message (a line without its line end). False when it was not taken.
  bool Send(const std::string& message);
  void Close();

 private:
  int fd_ = -1;
  std::string identifier_;
  std::string path_;
};

}  // namespace platform
