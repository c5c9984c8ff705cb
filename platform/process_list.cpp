// Walks /proc's numeric directories and reads each process's exe link, comm and cmdline.
#include "platform/process_list.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace platform {
namespace {

// The kernel keeps at most this many characters of a process name in comm.
constexpr size_t kCommLength = 15;

bool ReadSmallFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool ReadProcessInfo(const std::string& proc_root, int pid, ProcessInfo* out) {
  const std::string dir = proc_root + "/" + std::to_string(pid);
  std::string comm;
  if (!ReadSmallFile(dir + "/comm", &comm)) return false;
  while (!comm.empty() && comm.back() == '\n') comm.pop_back();
  out->pid = pid;
  out->name = comm;
  if (comm.size() == kCommLength) {
    std::string cmdline;
    if (ReadSmallFile(dir + "/cmdline", &cmdline) && !cmdline.empty()) {
      std::string argv0 = BaseName(cmdline.substr(0, cmdline.find('\0')));
      if (argv0.size() > kCommLength && argv0.compare(0, kCommLength, comm) == 0) {
        out->name = argv0;
      }
    }
  }
  char link[4096];
  ssize_t n = readlink((dir + "/exe").c_str(), link, sizeof link - 1);
  out->exe_path = n > 0 ? std::string(link, static_cast<size_t>(n)) : std::string();
  return true;
}

int ListProcesses(std::vector<ProcessInfo>* out) {
  out->clear();
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return -1;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || pid <= 0) continue;
    ProcessInfo info;
    if (ReadProcessInfo("/proc", static_cast<int>(pid), &info)) out->push_back(std::move(info));
  }
  closedir(proc);
  return 0;
}

}  // namespace platform
