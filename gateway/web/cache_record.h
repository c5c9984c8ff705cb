// CacheRecord: the 16 bytes at the start of every cache file (hit count, expires, last
// modified, last access; unsigned 32-bit, little-endian, times in seconds since 1970),
// followed by the response exactly as received. Pure functions and single-file reads and
// writes; the caller owns the descriptor.
#pragma once

#include <cstddef>
#include <cstdint>

namespace web {

inline constexpr size_t kCacheRecordSize = 16;

struct CacheRecord {
  uint32_t hit_count = 0;
  uint32_t expires = 0;
  uint32_t last_modified = 0;
  uint32_t last_access = 0;
};

void EncodeCacheRecord(const CacheRecord& record, unsigned char out[kCacheRecordSize]);
[[nodiscard]] CacheRecord DecodeCacheRecord(const unsigned char in[kCacheRecordSize]);

// Reads / writes the record at offset 0 of an open file. 0, or -1 (short or failed).
[[nodiscard]] int ReadCacheRecord(int fd, CacheRecord* record);
[[nodiscard]] int WriteCacheRecordAt0(int fd, const CacheRecord& record);

}  // namespace web
