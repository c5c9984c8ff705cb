// Cache files: lookup, opening a stored answer for the relay, the record of a new file and the
// writer that stores under a temporary name and renames on completion.
#include "gateway/web/cache_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "gateway/web/cache_record.h"
#include "gateway/web/cache_rules.h"
#include "gateway/web/http_date.h"

namespace web {
namespace {

std::atomic<uint64_t> g_partial_counter{0};

class FileCloser {
 public:
  explicit FileCloser(int fd) : fd_(fd) {}
  ~FileCloser() {
    if (fd_ >= 0) close(fd_);
  }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

 private:
  int fd_;
};

bool WriteAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

int CheckURL(const std::string& full_path, uint32_t now, uint32_t* last_modified) {
  int fd = open(full_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  FileCloser closer(fd);
  CacheRecord record;
  // Shared with other readers; waits only for a record update in progress.
  if (flock(fd, LOCK_SH) != 0 || ReadCacheRecord(fd, &record) != 0) return -1;
  flock(fd, LOCK_UN);
  *last_modified = record.last_modified;
  if (record.expires > now) return 0;
  DeleteIfSame(fd, full_path);
  return -1;
}

int OpenStoredResponse(const std::string& full_path, uint32_t now, int* fd_out, off_t* offset) {
  int fd = open(full_path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return -1;
  CacheRecord record;
  // The record is the only part of a whole file that is ever written, and only here: its
  // update is made under the exclusive lock. The response after it never changes (a new
  // version arrives under a new inode), so the serving holds no lock.
  if (flock(fd, LOCK_EX) != 0 || ReadCacheRecord(fd, &record) != 0) {
    close(fd);
    return -1;
  }
  record.hit_count += 1;
  record.last_access = now;
  [[maybe_unused]] int rc = WriteCacheRecordAt0(fd, record);
  flock(fd, LOCK_UN);
  *fd_out = fd;
  *offset = static_cast<off_t>(kCacheRecordSize);
  return 0;
}

void RecordForResponse(const char* head, size_t length, int64_t ttl, uint32_t now,
                       CacheRecord* record) {
  std::string lower = Lowered(head, length);
  uint32_t expires = 0;
  switch (HeaderDate(lower, "expires:", &expires)) {
    case DateRead::kConverted:
      break;
    case DateRead::kUnrepresentable:
      expires = 0;  // a date the record cannot hold is taken as already past
      break;
    case DateRead::kMissing: {
      int64_t at = static_cast<int64_t>(now) + ttl;
      expires = at > static_cast<int64_t>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(at);
      break;
    }
  }
  uint32_t modified = 0;
  if (HeaderDate(lower, "last-modified:", &modified) != DateRead::kConverted) modified = now;
  *record = CacheRecord{0, expires, modified, now};
}

int WriteCacheRecord(int fd, const char* head, size_t length, int64_t ttl, uint32_t now) {
  CacheRecord record;
  RecordForResponse(head, length, ttl, now, &record);
  return WriteCacheRecordAt0(fd, record);
}

void DeleteIfSame(int fd, const std::string& path) {
  struct stat open_file {};
  struct stat named {};
  if (fstat(fd, &open_file) != 0 || stat(path.c_str(), &named) != 0) return;
  if (open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino) unlink(path.c_str());
}

CacheFileWriter::~CacheFileWriter() { Discard(); }

int CacheFileWriter::Begin(const std::string& host_dir, const std::string& full_path,
                           const char* bytes, size_t n, size_t head_length, int64_t ttl,
                           uint32_t now) {
  Discard();
  if (mkdir(host_dir.c_str(), 0755) != 0 && errno != EEXIST) return -1;
  temp_path_ = host_dir + "/" + kPartialPrefix + std::to_string(getpid()) + "-" +
               std::to_string(g_partial_counter.fetch_add(1));
  fd_ = ::open(temp_path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd_ < 0) return -1;
  full_path_ = full_path;
  // Held until the file is in place: the purge leaves a locked partial file alone.
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0 ||
      WriteCacheRecord(fd_, bytes, head_length, ttl, now) != 0 ||
      lseek(fd_, static_cast<off_t>(kCacheRecordSize), SEEK_SET) < 0 || !WriteAll(fd_, bytes, n)) {
    Discard();
    return -1;
  }
  return 0;
}

int CacheFileWriter::Append(const char* bytes, size_t n) {
  if (fd_ < 0) return -1;
  if (!WriteAll(fd_, bytes, n)) {
    Discard();
    return -1;
  }
  return 0;
}

int CacheFileWriter::Commit() {
  if (fd_ < 0) return -1;
  // The data reaches the disk before the name does, so a power cut never leaves a short
  // file under a final name.
  if (fdatasync(fd_) != 0 || rename(temp_path_.c_str(), full_path_.c_str()) != 0) {
    Discard();
    return -1;
  }
  close(fd_);
  fd_ = -1;
  temp_path_.clear();
  return 0;
}

void CacheFileWriter::Discard() {
  if (fd_ < 0) return;
  unlink(temp_path_.c_str());
  close(fd_);
  fd_ = -1;
  temp_path_.clear();
}

}  // namespace web
