// The access log: lines a script can split on blanks, the placement setting, a full queue that
// drops instead of waiting, and the reopen after the file was moved away.
#include "gateway/engine/access_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "gateway/engine/config_store.h"
#include "gateway/engine/store_access.h"
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

// The writer gathers lines into batches: a lone line still reaches the file on its own, and a
// burst still waiting at Stop is written whole and in order.
TEST(AccessLog, LoneLinesAreWrittenAndABurstIsFlushedInOrderAtStop) {
  platform::testing::TempStore store;
  const std::string path = store.dir() + "/access.log";
  AccessLog log;
  ASSERT_TRUE(log.Start(path));
  auto written = [&](const std::string& client) {
    for (int i = 0; i < 500; ++i) {
      if (ReadFile(path).find(" " + client + " ") != std::string::npos) return true;
      usleep(10000);
    }
    return false;
  };
  ASSERT_TRUE(log.Submit(Record("10.0.0.1")));
  EXPECT_TRUE(written("10.0.0.1"));
  usleep(200000);  // the writer has finished gathering and waits for a new first line
  ASSERT_TRUE(log.Submit(Record("10.0.0.2")));
  EXPECT_TRUE(written("10.0.0.2")) << "a lone line waited for company";
  // The writer gathers after that write: the burst is still queued when Stop comes.
  constexpr int kBurst = 300;
  for (int i = 0; i < kBurst; ++i) ASSERT_TRUE(log.Submit(Record("10.1." + std::to_string(i))));
  log.Stop();
  const std::string text = ReadFile(path);
  size_t at = 0;
  for (int i = 0; i < kBurst; ++i) {
    at = text.find(" 10.1." + std::to_string(i) + " ", at);
    ASSERT_NE(at, std::string::npos) << "line " << i << " missing or out of order";
  }
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

}  // namespace
}  // namespace engine
