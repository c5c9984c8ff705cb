// The access log: lines a script can split on blanks, the placement setting, a full queue that
// drops instead of waiting, and the reopen after the file was moved away.
#include "gateway/engine/access_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "gateway/engine/config_store.h"
#include "gateway/engine/store_access.h"
#include "platform/journal_sender.h"
#include "platform/registry.h"
#include "platform/testing/temp_store.h"

namespace engine {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

AccessRecord Record(const std::string& client) {
  AccessRecord r;
  r.ended = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796652000123));
  r.duration = std::chrono::milliseconds(61005);
  r.client = client;
  r.service = "TCP Mapped Link";
  r.destination = "backup";
  r.from_client = 1200;
  r.to_client = 0;
  r.ending = "closed";
  return r;
}

TEST(AccessLog, LineHasEightBlankSeparatedFields) {
  EXPECT_EQ(FormatAccessLine(Record("192.168.1.5")),
            "2026-12-07T14:00:00.123Z 61.005 192.168.1.5 TCP%20Mapped%20Link backup 1200 0 "
            "closed");
  AccessRecord r = Record("");
  r.from_client = kUncounted;
  r.ending = "connect failed: 100% lost\n";
  const std::string line = FormatAccessLine(r);
  EXPECT_EQ(line.substr(line.find(" - ")),
            " - TCP%20Mapped%20Link backup - 0 connect%20failed:%20100%25%20lost%0A");
  EXPECT_EQ(EncodeAccessField("-"), "%2D");
  EXPECT_EQ(EncodeAccessField("caf\xc3\xa9"), "caf%C3%A9");
}

TEST(AccessLog, DurationCountsFromTheSessionsStartNotItsPooledThread) {
  const auto now = std::chrono::steady_clock::now();
  EXPECT_GE(AgeSince(now - std::chrono::seconds(5)).count(), 5000);
  EXPECT_EQ(AgeSince(now + std::chrono::seconds(60)).count(), 0) << "never negative";
}

TEST(AccessLog, PathComesFromTheSettingOrTheDefaults) {
  platform::testing::TempStore store;
  setenv("LOGS_DIRECTORY", "/var/log/wayfarer", 1);
  EXPECT_EQ(AccessLogPath(), "/var/log/wayfarer/access.log");  // nothing stored
  unsetenv("LOGS_DIRECTORY");
  setenv("XDG_STATE_HOME", "/home/u/.state", 1);
  EXPECT_EQ(AccessLogPath(), geteuid() == 0 ? std::string("/var/log/wayfarer/access.log")
                                            : std::string("/home/u/.state/wayfarer/access.log"));
  platform::RegKey key;
  ASSERT_EQ(OpenSubkey(kKeyConfiguration, "", /*create=*/true, &key), 0);
  ASSERT_TRUE(SetString(key, "AccessLog", "/srv/log/access.log"));
  EXPECT_EQ(AccessLogPath(), "/srv/log/access.log");
  ASSERT_TRUE(SetString(key, "AccessLog", ""));
  EXPECT_EQ(AccessLogPath(), "");  // off
  platform::RegCloseKey(key);
}

TEST(AccessLog, FullQueueDropsAndCountsWithoutWaiting) {
  // The writer is stuck on a pipe nobody reads: the queue fills and the rest is dropped.
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  AccessLog log(8);
  ASSERT_TRUE(log.Start("/proc/self/fd/" + std::to_string(pipe_fds[1])));
  int accepted = 0;
  for (int i = 0; i < 20000; ++i) accepted += log.Submit(Record("10.0.0." + std::to_string(i)));
  EXPECT_GT(log.dropped(), 0u);
  EXPECT_EQ(log.dropped() + static_cast<uint64_t>(accepted), 20000u);
  std::thread drain([fd = pipe_fds[0]] {
    char buf[65536];
    while (read(fd, buf, sizeof buf) > 0) {
    }
  });
  log.Stop();
  close(pipe_fds[1]);
  drain.join();
  close(pipe_fds[0]);
}

TEST(AccessLog, ReopenStartsANewFileAfterTheOldWasMoved) {
  platform::testing::TempStore store;
  const std::string path = store.dir() + "/logs/access.log";
  AccessLog log;
  ASSERT_TRUE(log.Start(path));
  ASSERT_TRUE(log.Submit(Record("10.0.0.1")));
  for (int i = 0; i < 500 && ReadFile(path).empty(); ++i) usleep(10000);
  ASSERT_EQ(rename(path.c_str(), (path + ".1").c_str()), 0);
  log.Reopen();
  ASSERT_TRUE(log.Submit(Record("10.0.0.2")));
  log.Stop();
  EXPECT_NE(ReadFile(path + ".1").find(" 10.0.0.1 "), std::string::npos);
  EXPECT_EQ(ReadFile(path + ".1").find(" 10.0.0.2 "), std::string::npos);
  EXPECT_NE(ReadFile(path).find(" 10.0.0.2 "), std::string::npos);
  EXPECT_FALSE(log.Submit(Record("10.0.0.3")));  // stopped: nothing queued any more
}

// A journal socket of the test's own, named to the log through the test-only variable.
class JournalSocket {
 public:
  explicit JournalSocket(const std::string& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    setenv(platform::kJournalSocketTestVariable, path.c_str(), 1);
    setenv("JOURNAL_STREAM", "8:1234", 1);
  }
  ~JournalSocket() {
    unsetenv(platform::kJournalSocketTestVariable);
    unsetenv("JOURNAL_STREAM");
    close(fd_);
    unlink(path_.c_str());
  }
  [[nodiscard]] bool bound() const { return bound_; }
  // The next entry, "" when none comes within a few seconds.
  std::string Next() {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 5000) != 1) return "";
    char buf[4096];
    const ssize_t n = recv(fd_, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool bound_ = false;
};

TEST(AccessLog, UnderTheServiceManagerEachLineAlsoGoesToTheJournal) {
  platform::testing::TempStore store;
  JournalSocket journal(store.dir() + "/journal.sock");
  ASSERT_TRUE(journal.bound());
  AccessLog log;
  ASSERT_TRUE(log.Start(store.dir() + "/access.log"));
  ASSERT_TRUE(log.Submit(Record("10.0.0.1")));
  ASSERT_TRUE(log.Submit(Record("10.0.0.2")));
  log.Stop();
  for (const char* client : {"10.0.0.1", "10.0.0.2"}) {
    EXPECT_EQ(journal.Next(), "MESSAGE=" + FormatAccessLine(Record(client)) +
                                  "\nSYSLOG_IDENTIFIER=wayfarer\nPRIORITY=6\n");
  }
  EXPECT_EQ(ReadFile(store.dir() + "/access.log"), FormatAccessLine(Record("10.0.0.1")) + "\n" +
                                                       FormatAccessLine(Record("10.0.0.2")) + "\n");
}

TEST(AccessLog, AJournalThatTakesNothingNeverHoldsTheFileBack) {
  // Nobody reads the journal socket: its queue fills and later entries are lost, while every
  // line still reaches the file and Stop returns.
  platform::testing::TempStore store;
  JournalSocket journal(store.dir() + "/journal.sock");
  ASSERT_TRUE(journal.bound());
  AccessLog log;
  ASSERT_TRUE(log.Start(store.dir() + "/access.log"));
  int accepted = 0;
  for (int i = 0; i < 3000; ++i) accepted += log.Submit(Record("10.0.0." + std::to_string(i)));
  log.Stop();
  const std::string text = ReadFile(store.dir() + "/access.log");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), accepted);
  EXPECT_GT(accepted, 0);
}

TEST(AccessLog, OutsideTheServiceManagerNothingGoesToTheJournal) {
  platform::testing::TempStore store;
  const std::string path = store.dir() + "/journal.sock";
  {
    JournalSocket journal(path);
    ASSERT_TRUE(journal.bound());
    unsetenv("JOURNAL_STREAM");
    // A journal socket alone is not enough: this process was not started by the manager.
    if (getenv("INVOCATION_ID") == nullptr && getppid() != 1) {
      EXPECT_FALSE(platform::UnderJournal());
    }
  }
}

}  // namespace
}  // namespace engine
