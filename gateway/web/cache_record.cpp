// The cache record's byte layout and its reads and writes.
#include "gateway/web/cache_record.h"

#include <unistd.h>

namespace web {
namespace {

void Put32(uint32_t v, unsigned char* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint32_t Get32(const unsigned char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

void EncodeCacheRecord(const CacheRecord& record, unsigned char out[kCacheRecordSize]) {
  Put32(record.hit_count, out);
  Put32(record.expires, out + 4);
  Put32(record.last_modified, out + 8);
  Put32(record.last_access, out + 12);
}

CacheRecord DecodeCacheRecord(const unsigned char in[kCacheRecordSize]) {
  return CacheRecord{Get32(in), Get32(in + 4), Get32(in + 8), Get32(in + 12)};
}

int ReadCacheRecord(int fd, CacheRecord* record) {
  unsigned char bytes[kCacheRecordSize];
  if (pread(fd, bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return -1;
  *record = DecodeCacheRecord(bytes);
  return 0;
}

int WriteCacheRecordAt0(int fd, const CacheRecord& record) {
  unsigned char bytes[kCacheRecordSize];
  EncodeCacheRecord(record, bytes);
  return pwrite(fd, bytes, sizeof bytes, 0) == static_cast<ssize_t>(sizeof bytes) ? 0 : -1;
}

}  // namespace web
