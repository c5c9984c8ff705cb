// The purge pass on a real temporary cache directory: scores, the 90 % target, the work
// file's records, what the scan deletes on its way, and "Purge Now".
#include "gateway/web/purge_pass.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "gateway/web/cache_record.h"
#include "gateway/web/cache_store.h"
#include "gateway/web/purge_thread.h"
#include "platform/testing/message_recorder.h"

namespace web {
namespace {

namespace fs = std::filesystem;

TEST(PurgeRules, ScoreTargetAndInterval) {
  EXPECT_EQ(PurgeScore(2, 100, 1000), 8300u);      // an hour per hit, plus size and last access
  EXPECT_EQ(PurgeScore(2, 0, 0xFFFFFFFF), 7199u);  // unsigned 32-bit arithmetic wraps
  // 11 MiB held under a 10 MiB limit: free down to 9 MiB (90 %), i.e. 2 MiB.
  EXPECT_EQ(PurgeTarget(11u << 20, 10u << 20), 2097152u);
  EXPECT_EQ(PurgeTarget(1000, 1000), 100u);
  EXPECT_EQ(PurgeTarget(100, 1000), 0u);
  struct Case {
    bool first;
    uint32_t max;
    int minutes;
  } cases[] = {{true, 100u << 20, 1},        {false, 10u << 20, 30}, {false, 25u << 20, 30},
               {false, (26u << 20) - 1, 30}, {false, 26u << 20, 52}, {false, 100u << 20, 200}};
  for (const Case& c : cases) EXPECT_EQ(PurgeIntervalFor(c.first, c.max), c.minutes) << c.max;
}

TEST(PurgeRules, EntryIs268BytesWithZeroTerminatedPath) {
  unsigned char bytes[kPurgeEntrySize];
  std::string long_path(300, 'p');
  EncodePurgeEntry(PurgeEntry{long_path, 7, 9}, bytes);
  EXPECT_EQ(bytes[259], 0);
  PurgeEntry back = DecodePurgeEntry(bytes);
  EXPECT_EQ(back.path, std::string(259, 'p'));
  EXPECT_EQ(back.score, 7u);
  EXPECT_EQ(back.size, 9u);
}

class PurgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/cache-purge-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    location_ = std::string(tmpl) + "/";
    unsetenv("TMP");
  }
  void TearDown() override { fs::remove_all(location_); }

  // A cache file of size bytes in all whose score is about last_access.
  void Put(const std::string& host, const std::string& name, size_t size, uint32_t hits,
           uint32_t last_access) {
    fs::create_directories(location_ + host);
    unsigned char bytes[kCacheRecordSize];
    EncodeCacheRecord(CacheRecord{hits, 0xFFFFFFF0u, 0, last_access}, bytes);
    std::ofstream out(location_ + host + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    out << std::string(size - kCacheRecordSize, 'x');
  }
  bool Has(const std::string& relative) { return fs::exists(location_ + relative); }

  std::string location_;
  std::atomic<bool> stop_{false};
};

TEST_F(PurgeTest, DeletesLowestScoresUntilNinetyPercent) {
  // Ten files of 100 KiB under a 1 MiB limit: total 1000 KiB is below it, nothing happens.
  for (int i = 0; i < 10; ++i)
    Put("h" + std::to_string(i % 2), "~f" + std::to_string(i), 102400, 0, 1000 + i);
  EXPECT_EQ(PurgeCache(location_, 1u << 20, stop_), -1);
  EXPECT_TRUE(Has("h0/~f0"));
  // Three more make 1300 KiB: free at least 1300 KiB - 921.6 KiB, lowest scores first.
  Put("h0", "~old", 102400, 0, 10);
  Put("h1", "~popular", 102400, 50, 1000);  // many hits rank high despite its age
  Put("solo", "~new", 102400, 0, 2000000);
  EXPECT_EQ(PurgeCache(location_, 1u << 20, stop_), 0);
  EXPECT_FALSE(Has("h0/~old"));
  EXPECT_FALSE(Has("h0/~f0"));
  EXPECT_FALSE(Has("h1/~f1"));
  EXPECT_FALSE(Has("h0/~f2"));
  EXPECT_TRUE(Has("h1/~f3"));  // the fourth deletion crossed the target
  EXPECT_TRUE(Has("h1/~popular"));
  EXPECT_TRUE(Has("solo/~new"));
  EXPECT_FALSE(Has("WayfarerCache.tmp"));
}

TEST_F(PurgeTest, PlantedLinkAtTheWorkFileNameIsNeitherFollowedNorRemoved) {
  std::string victim = location_ + "victim";
  std::ofstream(victim) << "precious";
  fs::create_symlink(victim, location_ + "WayfarerCache.tmp");
  Put("h", "~a", 2000, 0, 1);
  EXPECT_EQ(PurgeCache(location_, 1000, stop_), 0);
  EXPECT_FALSE(Has("h/~a"));
  std::ifstream in(victim);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "precious");
  EXPECT_TRUE(fs::is_symlink(location_ + "WayfarerCache.tmp"));
  int left = 0;  // the private work file is gone with the pass
  for (auto& e : fs::directory_iterator(location_)) {
    left += e.path().filename().string().rfind("WayfarerCache.tmp.", 0) == 0;
  }
  EXPECT_EQ(left, 0);
}

TEST_F(PurgeTest, ExactlyAtTheLimitPurgesOneByteBelowDoesNot) {
  Put("h", "~a", 1000, 0, 1);
  Put("h", "~b", 1000, 0, 2);
  EXPECT_EQ(PurgeCache(location_, 2001, stop_), -1);
  EXPECT_EQ(PurgeCache(location_, 2000, stop_), 0);
  EXPECT_FALSE(Has("h/~a"));
  EXPECT_TRUE(Has("h/~b"));
}

TEST_F(PurgeTest, ScanDropsEmptyFilesEmptyDirsAndOrphanPartials) {
  Put("h", "~a", 100, 0, 1);
  fs::create_directories(location_ + "empty");
  std::ofstream(location_ + "h/~zero").close();
  std::ofstream(location_ + "h/" + kPartialPrefix + "1-1") << "crashed writer";
  Put("top", "~x", 100, 0, 1);
  fs::rename(location_ + "top/~x", location_ + "loose-file");  // files in the location stay
  CacheFileWriter live;
  ASSERT_EQ(
      live.Begin(location_ + "h", location_ + "h/~b", "HTTP/1.0 200 OK\r\n\r\n", 19, 15, 60, 1), 0);
  ASSERT_EQ(PurgeCache(location_, 1u << 30, stop_), -1);  // under the limit: measured only
  EXPECT_FALSE(Has("h/~zero"));
  EXPECT_FALSE(Has("h/" + std::string(kPartialPrefix) + "1-1"));
  EXPECT_FALSE(Has("empty"));
  EXPECT_FALSE(Has("top"));
  EXPECT_TRUE(Has("loose-file"));
  EXPECT_TRUE(Has("h/~a"));
  int partials = 0;
  for (auto& e : fs::directory_iterator(location_ + "h")) {
    partials += e.path().filename().string().rfind(kPartialPrefix, 0) == 0;
  }
  EXPECT_EQ(partials, 1);  // the live writer's file is left alone
}

TEST_F(PurgeTest, PassUnderTheLimitRemovesWhatAKilledWriterLeft) {
  Put("keep", "~a", 100, 0, 1);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    // A session storing a response in another process, killed half way.
    CacheFileWriter w;
    const char head[] = "HTTP/1.0 200 OK\r\n\r\n";
    if (w.Begin(location_ + "dead", location_ + "dead/~x", head, 19, 19, 60, 1) != 0 ||
        w.Append("partial body", 12) != 0 || write(ready[1], "!", 1) != 1) {
      _exit(1);
    }
    pause();
    _exit(0);
  }
  close(ready[1]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  kill(writer, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(writer, &status, 0), writer);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_EQ(std::distance(fs::directory_iterator(location_ + "dead"), fs::directory_iterator()), 1);

  EXPECT_EQ(PurgeCache(location_, 1u << 30, stop_), -1);  // under the limit: measured only
  EXPECT_FALSE(Has("dead"));  // the partial file, then its emptied host directory
  EXPECT_TRUE(Has("keep/~a"));
}

TEST_F(PurgeTest, WorkFileGoesToTmpWhenSet) {
  setenv("TMP", "/tmp", 1);
  EXPECT_EQ(PurgeWorkFilePath(location_), "/tmp/WayfarerCache.tmp");
  unsetenv("TMP");
  EXPECT_EQ(PurgeWorkFilePath(location_), location_ + "WayfarerCache.tmp");
}

TEST_F(PurgeTest, PurgeNowAsksThenEmptiesHostDirectories) {
  Put("h", "~a", 100, 0, 1);
  std::ofstream(location_ + "keep").close();
  {
    platform::testing::MessageRecorder no(platform::kIdNo);
    EXPECT_EQ(PurgeNow(location_), -1);
    EXPECT_EQ(no.texts(), std::vector<std::string>{"W-10037: This will delete all the files in "
                                                   "the Web Cache. Do you wish to continue ?"});
  }
  EXPECT_TRUE(Has("h/~a"));
  {
    platform::testing::MessageRecorder yes(platform::kIdYes);
    EXPECT_EQ(PurgeNow(location_), 0);
  }
  EXPECT_FALSE(Has("h"));
  EXPECT_TRUE(Has("keep"));
  platform::testing::MessageRecorder yes(platform::kIdYes);
  EXPECT_EQ(PurgeNow(location_ + "missing/"), -1);
  EXPECT_EQ(yes.texts().back(), "E-10038: The specified cache folder does not exist.");
}

}  // namespace
}  // namespace web
