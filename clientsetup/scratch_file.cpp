// Scratch copies and whole-file replacement with POSIX calls, so every failure is seen.
#include "clientsetup/scratch_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace clientsetup {
namespace {

bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int OverwriteInPlace(const std::string& path, const std::string& content) {
  int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  bool ok = WriteAll(fd, content) && ftruncate(fd, static_cast<off_t>(content.size())) == 0;
  ok = fsync(fd) == 0 && ok;
  return close(fd) == 0 && ok ? 0 : -1;
}

}  // namespace

int CopyToTempFile(const std::string& path) {
  std::string content;
  if (path.empty() || !ReadWholeFile(path, &content)) return 0;
  int fd = open(kTempFileName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return 0;
  bool ok = WriteAll(fd, content);
  return close(fd) == 0 && ok ? 1 : 0;
}

void RemoveTempFile() { std::remove(kTempFileName); }

bool ReadTextLines(const std::string& path, std::vector<std::string>* lines) {
  std::string content;
  if (!ReadWholeFile(path, &content)) return false;
  lines->clear();
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    end = end == std::string::npos ? content.size() : end + 1;
    lines->push_back(content.substr(start, end - start));
    start = end;
  }
  return true;
}

int ReplaceFileContents(const std::string& path, const std::string& content) {
  struct stat old_stat {};
  const bool existed = stat(path.c_str(), &old_stat) == 0;
  const mode_t mode = existed ? (old_stat.st_mode & 07777) : 0644;
  const std::string fresh = path + ".wayfarer-new";
  int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return existed ? OverwriteInPlace(path, content) : -1;
  bool ok = WriteAll(fd, content) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(fresh.c_str(), path.c_str()) == 0) return 0;
  const int rename_error = errno;
  unlink(fresh.c_str());
  if (ok && existed && (rename_error == EBUSY || rename_error == EXDEV)) {
    return OverwriteInPlace(path, content);
  }
  errno = rename_error;
  return -1;
}

}  // namespace clientsetup
