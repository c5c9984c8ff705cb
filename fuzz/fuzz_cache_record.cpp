// Fuzz target: the 16-byte record at the start of a cache file, read back from a file that
// holds the input (short files included); decode and encode must be inverse. Single-threaded.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "gateway/web/cache_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= web::kCacheRecordSize) {
    web::CacheRecord record = web::DecodeCacheRecord(data);
    unsigned char again[web::kCacheRecordSize];
    web::EncodeCacheRecord(record, again);
    if (std::memcmp(again, data, web::kCacheRecordSize) != 0) __builtin_trap();
  }
  int fd = memfd_create("cache-file", 0);
  if (fd < 0) return 0;
  if (write(fd, data, size) == static_cast<ssize_t>(size)) {
    web::CacheRecord record;
    int read = web::ReadCacheRecord(fd, &record);
    if ((read == 0) != (size >= web::kCacheRecordSize)) __builtin_trap();
  }
  close(fd);
  return 0;
}
