// One purge pass over the cache directory: measure every cache file into the work file of
// PurgeEntry records, and when the total has reached the limit delete the lowest scores
// until the cache is back at 90 % of it. Also "Purge Now", which empties every host
// directory. Runs on the purge thread (a pass) or the console thread (Purge Now); a pass
// checks its stop flag between files, so it ends soon when the program stops.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace web {

inline constexpr size_t kPurgeEntrySize = 268;
inline constexpr size_t kPurgePathWidth = 260;
inline constexpr char kW10037[] =
    "W-10037: This will delete all the files in the Web Cache. Do you wish to continue ?";
inline constexpr char kE10038[] = "E-10038: The specified cache folder does not exist.";
inline constexpr char kE10039[] = "E-10039: Wrong file permisions on %s.\nPlease delete this file.";

struct PurgeEntry {
  std::string path;    // at most 259 characters
  uint32_t score = 0;  // hit count x 3600 + size + last access, unsigned 32-bit arithmetic
  uint32_t size = 0;
};

void EncodePurgeEntry(const PurgeEntry& entry, unsigned char out[kPurgeEntrySize]);
[[nodiscard]] PurgeEntry DecodePurgeEntry(const unsigned char in[kPurgeEntrySize]);
[[nodiscard]] uint32_t PurgeScore(uint32_t hit_count, uint32_t size, uint32_t last_access);
// Bytes to free: total minus 90 % of the limit, truncated; 0 when under it.
[[nodiscard]] uint64_t PurgeTarget(uint64_t total, uint32_t max_cache_size);
// "$TMP/WayfarerCache.tmp", or "<location>WayfarerCache.tmp" when TMP is not set: the stem of
// the purge's work file, which is created under a unique suffix and unlinked at once.
[[nodiscard]] std::string PurgeWorkFilePath(const std::string& location);

struct ScanResult {
  int file_count = 0;
  uint64_t total_size = 0;
};

// Measures every file of every host directory into work_fd (empty files and partial files
// left by an ended writer are deleted; empty host directories removed). 0, or -1 on a stop.
[[nodiscard]] int ScanCacheDirectory(const std::string& location, int work_fd,
                                     const std::atomic<bool>& stop, ScanResult* result);
// One pass: 0 when files were deleted, -1 when nothing was done or a step failed.
[[nodiscard]] int PurgeCache(const std::string& location, uint32_t max_cache_size,
                             const std::atomic<bool>& stop);

// Deletes every file of every host directory and the directories; files directly in the
// location stay. 0, or -1 when the location does not exist.
[[nodiscard]] int EmptyCacheDirectory(const std::string& location);
// The Cache page's "Purge Now": asks W-10037, reports E-10038 for a missing directory.
// 0 when the cache was emptied, -1 otherwise.
int PurgeNow(const std::string& location);

}  // namespace web
