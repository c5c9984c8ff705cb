// Cache files on a real temporary directory: the record, lookups, the writer's temporary
// name and its completion, and serving over a real socket pair.
#include "gateway/web/cache_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "gateway/web/cache_record.h"

namespace web {
namespace {

namespace fs = std::filesystem;
constexpr uint32_t kNow = 1700000000;

class CacheStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/cache-store-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    host_dir_ = dir_ + "/alpha";
    path_ = host_dir_ + "/~a";
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A whole file with the given record and response.
  void Put(const CacheRecord& record, const std::string& response) {
    fs::create_directories(host_dir_);
    unsigned char bytes[kCacheRecordSize];
    EncodeCacheRecord(record, bytes);
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    out << response;
  }
  CacheRecord Stored() {
    int fd = open(path_.c_str(), O_RDONLY);
    CacheRecord record;
    EXPECT_EQ(ReadCacheRecord(fd, &record), 0);
    close(fd);
    return record;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(host_dir_)) names.push_back(e.path().filename());
    return names;
  }

  std::string dir_, host_dir_, path_;
};

TEST(CacheRecordLayout, SixteenBytesLittleEndian) {
  unsigned char bytes[kCacheRecordSize];
  EncodeCacheRecord(CacheRecord{1, 0x01020304, 0xA0B0C0D0, 0xFFFFFFFF}, bytes);
  const unsigned char expected[] = {1,    0,    0,    0,    4,   3,   2,   1,
                                    0xD0, 0xC0, 0xB0, 0xA0, 255, 255, 255, 255};
  EXPECT_EQ(std::memcmp(bytes, expected, sizeof expected), 0);
  CacheRecord back = DecodeCacheRecord(bytes);
  EXPECT_EQ(back.expires, 0x01020304u);
  EXPECT_EQ(back.last_access, 0xFFFFFFFFu);
}

TEST(CacheRecordRules, DatesFromHeadersOrNowPlusTtl) {
  CacheRecord r;
  const char with_dates[] =
      "HTTP/1.0 200 OK\r\nExpires: Thu, 01 Dec 1994 16:00:00 GMT\r\n"
      "Last-Modified: Sunday, 06-Nov-94 08:49:37 GMT\r\n";
  RecordForResponse(with_dates, sizeof with_dates - 1, 3600, kNow, &r);
  EXPECT_EQ(r.expires, 786297600u);
  EXPECT_EQ(r.last_modified, 784111777u);
  EXPECT_EQ(r.hit_count, 0u);
  EXPECT_EQ(r.last_access, kNow);
  const char no_dates[] = "HTTP/1.0 200 OK\r\nExpires: 0\r\n";
  RecordForResponse(no_dates, sizeof no_dates - 1, 3600, kNow, &r);
  EXPECT_EQ(r.expires, kNow + 3600);
  EXPECT_EQ(r.last_modified, kNow);
  // Before 1970 or past the record's range: stale at once, never "fresh for ever".
  const char too_early[] = "HTTP/1.0 200 OK\r\nExpires: Wed, 31 Dec 1969 23:00:00 GMT\r\n";
  RecordForResponse(too_early, sizeof too_early - 1, 3600, kNow, &r);
  EXPECT_EQ(r.expires, 0u);
  const char too_late[] = "HTTP/1.0 200 OK\r\nExpires: Sat, 01 Jan 2150 00:00:00 GMT\r\n";
  RecordForResponse(too_late, sizeof too_late - 1, 3600, kNow, &r);
  EXPECT_EQ(r.expires, 0u);
}

TEST_F(CacheStoreTest, CheckUrlFreshStaleAndMissing) {
  uint32_t modified = 0;
  EXPECT_EQ(CheckURL(path_, kNow, &modified), -1);
  Put(CacheRecord{0, kNow + 1, 1234, kNow}, "HTTP/1.0 200 OK\r\n\r\nx");
  EXPECT_EQ(CheckURL(path_, kNow, &modified), 0);
  EXPECT_EQ(modified, 1234u);
  EXPECT_EQ(CheckURL(path_, kNow + 1, &modified), -1);  // expiry not after now: stale
  EXPECT_FALSE(fs::exists(path_));
  Put(CacheRecord{}, "");
  fs::resize_file(path_, 10);  // a short record
  EXPECT_EQ(CheckURL(path_, kNow, &modified), -1);
}

TEST_F(CacheStoreTest, WriterKeepsNoFinalNameUntilCommit) {
  const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\n";
  {
    CacheFileWriter writer;
    std::string first = head + "abc";
    ASSERT_EQ(writer.Begin(host_dir_, path_, first.data(), first.size(), head.size() - 4, 60, kNow),
              0);
    ASSERT_EQ(writer.Append("def", 3), 0);
    EXPECT_FALSE(fs::exists(path_));
    ASSERT_EQ(Names().size(), 1u);
    EXPECT_EQ(Names()[0].rfind(kPartialPrefix, 0), 0u);
    ASSERT_EQ(writer.Commit(), 0);
  }
  EXPECT_EQ(Names(), std::vector<std::string>{"~a"});
  std::ifstream in(path_, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(all.substr(kCacheRecordSize), head + "abcdef");
  EXPECT_EQ(Stored().expires, kNow + 60);
}

TEST_F(CacheStoreTest, UnfinishedWriterLeavesNothing) {
  {
    CacheFileWriter writer;
    ASSERT_EQ(writer.Begin(host_dir_, path_, "HTTP/1.0 200 OK\r\n\r\n", 19, 15, 60, kNow), 0);
  }  // a session that ends without a whole response
  EXPECT_TRUE(Names().empty());
  CacheFileWriter writer;
  ASSERT_EQ(writer.Begin(host_dir_, path_, "HTTP/1.0 200 OK\r\n\r\n", 19, 15, 60, kNow), 0);
  writer.Discard();
  EXPECT_TRUE(Names().empty());
  EXPECT_EQ(writer.Commit(), -1);
}

// Reads everything from s until the peer closes; bounded by the socket's own timeout.
std::string ReadAll(int s) {
  timeval tv{5, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  std::string out;
  char buf[8192];
  for (;;) {
    ssize_t r = recv(s, buf, sizeof buf, 0);
    if (r <= 0) return out;
    out.append(buf, static_cast<size_t>(r));
  }
}

TEST_F(CacheStoreTest, ServeSendsTheResponseCountsTheHitAndSurvivesADelete) {
  std::string body(3 * 1024 * 1024, 'z');
  for (size_t i = 0; i < body.size(); i += 4096) body[i] = static_cast<char>('a' + i % 26);
  std::string response = "HTTP/1.0 200 OK\r\n\r\n" + body;
  Put(CacheRecord{4, kNow + 100, 5, 6}, response);
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  fcntl(pair[0], F_SETFL, O_NONBLOCK);
  int rc = -2;
  std::thread server([&] {
    rc = ServeFromCache(pair[0], path_, kNow);
    close(pair[0]);
  });
  // The server fills the socket and waits; the purge deletes the file meanwhile.
  char first[1];
  ASSERT_EQ(recv(pair[1], first, 1, MSG_WAITALL), 1);
  CacheRecord record = Stored();
  fs::remove(path_);
  std::string got = std::string(first, 1) + ReadAll(pair[1]);
  server.join();
  close(pair[1]);
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(got == response);
  EXPECT_EQ(record.hit_count, 5u);
  EXPECT_EQ(record.last_access, kNow);
  EXPECT_EQ(record.expires, kNow + 100);
}

TEST_F(CacheStoreTest, ServeFailsForMissingFileAndGoneClient) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  bool spent = true;
  EXPECT_EQ(ServeFromCache(pair[0], path_, kNow, &spent), -1);
  EXPECT_FALSE(spent);  // nothing reached the client: the origin may answer instead
  Put(CacheRecord{0, kNow + 100, 0, 0}, "HTTP/1.0 200 OK\r\n\r\n" + std::string(1 << 20, 'x'));
  close(pair[1]);
  signal(SIGPIPE, SIG_IGN);
  EXPECT_EQ(ServeFromCache(pair[0], path_, kNow, &spent), -1);
  EXPECT_TRUE(spent);  // a gone client is not sent to the origin instead
  close(pair[0]);
}

}  // namespace
}  // namespace web
