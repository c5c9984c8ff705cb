// The purge pass, its work file and "Purge Now". Paths are absolute (the location and the
// host directory), so the process's current directory is never changed.
#include "gateway/web/purge_pass.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gateway/web/cache_record.h"
#include "gateway/web/cache_store.h"
#include "platform/admin_message.h"

namespace web {
namespace {

constexpr char kCaption[] = "Wayfarer";
constexpr char kWorkFileName[] = "WayfarerCache.tmp";

void Put32(uint32_t v, unsigned char* p) { std::memcpy(p, &v, 4); }  // the machine's order
uint32_t Get32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

bool IsDots(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Plain directories only; links and other kinds are skipped.
std::vector<std::string> HostDirectories(const std::string& location) {
  std::vector<std::string> out;
  DIR* dir = opendir(location.c_str());
  if (!dir) return out;
  while (dirent* e = readdir(dir)) {
    if (IsDots(e->d_name)) continue;
    std::string path = location + e->d_name;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) out.push_back(path);
  }
  closedir(dir);
  return out;
}

std::vector<std::string> Entries(const std::string& dir_path) {
  std::vector<std::string> out;
  DIR* dir = opendir(dir_path.c_str());
  if (!dir) return out;
  while (dirent* e = readdir(dir)) {
    if (!IsDots(e->d_name)) out.push_back(e->d_name);
  }
  closedir(dir);
  return out;
}

// A partial file nobody holds is what a crashed or killed writer left: it goes.
void DropOrphanPartial(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) DeleteIfSame(fd, path);
  close(fd);
}

// Measures one file into the work file; true when it was counted.
bool MeasureFile(const std::string& path, int work_fd, ScanResult* result) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (st.st_size == 0) {
    unlink(path.c_str());
    return false;
  }
  if (path.size() >= kPurgePathWidth) return false;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  CacheRecord record;
  int rc = ReadCacheRecord(fd, &record);
  close(fd);
  if (rc != 0) return false;
  uint32_t size = st.st_size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(st.st_size);
  PurgeEntry entry{path, PurgeScore(record.hit_count, size, record.last_access), size};
  unsigned char bytes[kPurgeEntrySize];
  EncodePurgeEntry(entry, bytes);
  if (write(work_fd, bytes, sizeof bytes) != static_cast<ssize_t>(sizeof bytes)) return false;
  result->file_count += 1;
  result->total_size += size;
  return true;
}

int ReadEntries(int fd, int count, std::vector<PurgeEntry>* table) {
  table->reserve(static_cast<size_t>(count));
  unsigned char bytes[kPurgeEntrySize];
  for (int i = 0; i < count; ++i) {
    off_t at = static_cast<off_t>(i) * static_cast<off_t>(kPurgeEntrySize);
    if (pread(fd, bytes, sizeof bytes, at) != static_cast<ssize_t>(sizeof bytes)) return -1;
    table->push_back(DecodePurgeEntry(bytes));
  }
  return 0;
}

void RemoveHostDirOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash != std::string::npos) rmdir(path.substr(0, slash).c_str());  // only when empty
}

}  // namespace

void EncodePurgeEntry(const PurgeEntry& entry, unsigned char out[kPurgeEntrySize]) {
  std::memset(out, 0, kPurgeEntrySize);
  std::memcpy(out, entry.path.data(), std::min(entry.path.size(), kPurgePathWidth - 1));
  Put32(entry.score, out + kPurgePathWidth);
  Put32(entry.size, out + kPurgePathWidth + 4);
}

PurgeEntry DecodePurgeEntry(const unsigned char in[kPurgeEntrySize]) {
  PurgeEntry entry;
  entry.path.assign(reinterpret_cast<const char*>(in),
                    strnlen(reinterpret_cast<const char*>(in), kPurgePathWidth - 1));
  entry.score = Get32(in + kPurgePathWidth);
  entry.size = Get32(in + kPurgePathWidth + 4);
  return entry;
}

uint32_t PurgeScore(uint32_t hit_count, uint32_t size, uint32_t last_access) {
  return hit_count * 3600u + size + last_access;
}

uint64_t PurgeTarget(uint64_t total, uint32_t max_cache_size) {
  double target = static_cast<double>(total) - static_cast<double>(max_cache_size) * 0.9;
  return target <= 0 ? 0 : static_cast<uint64_t>(target);
}

std::string PurgeWorkFilePath(const std::string& location) {
  const char* tmp = std::getenv("TMP");
  if (tmp && *tmp) return std::string(tmp) + "/" + kWorkFileName;
  return location + kWorkFileName;
}

int ScanCacheDirectory(const std::string& location, int work_fd, const std::atomic<bool>& stop,
                       ScanResult* result) {
  for (const std::string& host_dir : HostDirectories(location)) {
    std::vector<std::string> names = Entries(host_dir);
    for (const std::string& name : names) {
      if (stop.load()) return -1;
      std::string path = host_dir + "/" + name;
      if (name.rfind(kPartialPrefix, 0) == 0) {
        DropOrphanPartial(path);
      } else {
        MeasureFile(path, work_fd, result);
      }
    }
    // Only an empty directory goes: one that held nothing, or only what a killed writer left.
    rmdir(host_dir.c_str());
  }
  return 0;
}

int PurgeCache(const std::string& location, uint32_t max_cache_size,
               const std::atomic<bool>& stop) {
  std::string work_path = PurgeWorkFilePath(location);
  // A fresh name of our own (created exclusively, 0600) beside the fixed one: a file or link
  // another local user planted under a predictable name is never opened or truncated.
  std::string unique = work_path + ".XXXXXX";
  int fd = mkostemp(unique.data(), O_CLOEXEC);
  if (fd >= 0) unlink(unique.c_str());  // held by its descriptor alone from here
  if (fd < 0) {
    if (errno == EACCES) {
      char text[512];
      std::snprintf(text, sizeof text, kE10039, work_path.c_str());
      platform::ShowAdminMessage(kCaption, text, platform::MessageIcon::kError);
    }
    return -1;
  }
  ScanResult scan;
  std::vector<PurgeEntry> table;
  bool purge = ScanCacheDirectory(location, fd, stop, &scan) == 0 &&
               scan.total_size >= max_cache_size && ReadEntries(fd, scan.file_count, &table) == 0;
  close(fd);
  if (!purge) return -1;
  std::sort(table.begin(), table.end(),
            [](const PurgeEntry& a, const PurgeEntry& b) { return a.score < b.score; });
  uint64_t target = PurgeTarget(scan.total_size, max_cache_size);
  uint64_t freed = 0;
  for (const PurgeEntry& entry : table) {
    if (freed >= target || stop.load()) break;
    freed += entry.size;
    unlink(entry.path.c_str());
    RemoveHostDirOf(entry.path);
  }
  return 0;
}

int EmptyCacheDirectory(const std::string& location) {
  struct stat st {};
  if (location.empty() || stat(location.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
  for (const std::string& host_dir : HostDirectories(location)) {
    for (const std::string& name : Entries(host_dir)) unlink((host_dir + "/" + name).c_str());
    rmdir(host_dir.c_str());
  }
  return 0;
}

int PurgeNow(const std::string& location) {
  if (platform::ShowAdminMessage(kCaption, kW10037, platform::MessageIcon::kQuestion,
                                 platform::MessageButtons::kYesNo) != platform::kIdYes) {
    return -1;
  }
  if (EmptyCacheDirectory(location) != 0) {
    platform::ShowAdminMessage(kCaption, kE10038, platform::MessageIcon::kExclamation);
    return -1;
  }
  return 0;
}

}  // namespace web
