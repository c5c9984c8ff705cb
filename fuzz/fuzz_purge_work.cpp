// Fuzz target: the purge pass's work file, entries of a fixed width (path, score, size) read
// back from whatever a crash or a foreign writer left there. Single-threaded.
#include <cstdint>

#include "gateway/web/purge_pass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (size_t at = 0; at + web::kPurgeEntrySize <= size; at += web::kPurgeEntrySize) {
    web::PurgeEntry entry = web::DecodePurgeEntry(data + at);
    if (entry.path.size() >= web::kPurgePathWidth) __builtin_trap();
    unsigned char again[web::kPurgeEntrySize];
    web::EncodePurgeEntry(entry, again);
    web::PurgeEntry back = web::DecodePurgeEntry(again);
    if (back.path != entry.path || back.score != entry.score || back.size != entry.size)
      __builtin_trap();
    (void)web::PurgeScore(entry.score, entry.size, entry.score);
  }
  return 0;
}
