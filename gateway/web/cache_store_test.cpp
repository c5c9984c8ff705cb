// Cache files on a real temporary directory: the record, lookups, the writer's temporary
// name and its completion, and opening a stored answer for serving.
#include "gateway/web/cache_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

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

TEST_F(CacheStoreTest, StoredAnswerCountsTheHitAndSurvivesADelete) {
  std::string body(3 * 1024 * 1024, 'z');
  for (size_t i = 0; i < body.size(); i += 4096) body[i] = static_cast<char>('a' + i % 26);
  std::string response = "HTTP/1.0 200 OK\r\n\r\n" + body;
  Put(CacheRecord{4, kNow + 100, 5, 6}, response);
  int fd = -1;
  off_t offset = 0;
  ASSERT_EQ(OpenStoredResponse(path_, kNow, &fd, &offset), 0);
  CacheRecord record = Stored();
  fs::remove(path_);  // the purge deletes the file while it is served
  std::string got;
  char buf[65536];
  for (;;) {
    ssize_t r = pread(fd, buf, sizeof buf, offset);
    if (r <= 0) break;
    got.append(buf, static_cast<size_t>(r));
    offset += r;
  }
  close(fd);
  EXPECT_TRUE(got == response);
  EXPECT_EQ(record.hit_count, 5u);
  EXPECT_EQ(record.last_access, kNow);
  EXPECT_EQ(record.expires, kNow + 100);
}

TEST_F(CacheStoreTest, MissingStoredAnswerIsNotOpened) {
  int fd = -1;
  off_t offset = 0;
  EXPECT_EQ(OpenStoredResponse(path_, kNow, &fd, &offset), -1);
  EXPECT_EQ(fd, -1);
}

}  // namespace
}  // namespace web
