// Process listing over /proc, the stand-in for the process enumeration of the Windows
// families: each entry gives the executable's full path (empty when this process may not
// read it, as a process that cannot be opened) and the process name. Any thread.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct ProcessInfo {
  int pid = 0;
  // Full path of the executable; "" when /proc/PID/exe cannot be read.
  std::string exe_path;
  // The process name: /proc/PID/comm, or the base name of argv[0] when comm is the kernel's
  // 15-character cut of that name.
  std::string name;
};

// Lists the running processes. 0 on success, -1 when /proc cannot be read. Processes that end
// while being listed are left out.
[[nodiscard]] int ListProcesses(std::vector<ProcessInfo>* out);

// Reads the entry of one process from proc_root (normally "/proc"). false when it has gone.
[[nodiscard]] bool ReadProcessInfo(const std::string& proc_root, int pid, ProcessInfo* out);

}  // namespace platform
