// The cache store's file operations: looking a URL's file up, answering a client from it,
// writing a new file under a temporary name in its host directory and putting it in place
// only when the response is whole. Advisory locks stand for the sharing rules: a file being
// written is locked exclusively (and has no final name yet); a record is read under a shared
// lock and updated under an exclusive one. Each object is used by one thread at a time.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace web {

// The prefix of a file still being written; cache names never begin with it.
inline constexpr char kPartialPrefix[] = ".partial-";

// 0 fresh (a whole file whose expiry lies after now; *last_modified set), -1 not fresh (no
// file, unreadable, or expired; an expired file has been deleted, *last_modified set).
[[nodiscard]] int CheckURL(const std::string& full_path, uint32_t now, uint32_t* last_modified);

// Opens a stored answer for serving and counts the hit: *fd (the caller's to close) holds the
// response from *offset on; the session's relay sends it as fast as the client reads, and a
// file deleted meanwhile is still sent whole. 0, or -1 (nothing was sent: the origin may
// answer instead).
[[nodiscard]] int OpenStoredResponse(const std::string& full_path, uint32_t now, int* fd,
                                     off_t* offset);

// The record of a new file from its response header block: expiry and last-modified from
// the headers, else now + ttl and now. An Expires date outside 32 bits is already stale.
struct CacheRecord;
void RecordForResponse(const char* head, size_t length, int64_t ttl, uint32_t now,
                       CacheRecord* record);
// Writes that record at the start of fd. 0 or -1.
[[nodiscard]] int WriteCacheRecord(int fd, const char* head, size_t length, int64_t ttl,
                                   uint32_t now);

// Deletes the file at path when it is still the one fd has open (a newer file put there by
// another session stays).
void DeleteIfSame(int fd, const std::string& path);

// A response being stored.
class CacheFileWriter {
 public:
  CacheFileWriter() = default;
  ~CacheFileWriter();  // an unfinished file is deleted
  CacheFileWriter(const CacheFileWriter&) = delete;
  CacheFileWriter& operator=(const CacheFileWriter&) = delete;

  // Creates host_dir when missing and a locked temporary file in it, writes the record and
  // the bytes received so far. 0, or -1 with nothing left behind.
  [[nodiscard]] int Begin(const std::string& host_dir, const std::string& full_path,
                          const char* bytes, size_t n, size_t head_length, int64_t ttl,
                          uint32_t now);
  // Appends later bytes. 0, or -1 (the file is gone).
  [[nodiscard]] int Append(const char* bytes, size_t n);
  // Puts the whole file in place under its final name. 0, or -1 (the file is gone).
  [[nodiscard]] int Commit();
  // Drops an unfinished file.
  void Discard();
  [[nodiscard]] bool open() const { return fd_ >= 0; }
  [[nodiscard]] int fd() const { return fd_; }

 private:
  int fd_ = -1;
  std::string temp_path_;
  std::string full_path_;
};

}  // namespace web
