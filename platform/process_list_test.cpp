// Process listing: finds this test itself and a child started under an odd name.
#include "platform/process_list.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace platform {
namespace {

TEST(ProcessList, ListsThisProcessWithItsExecutable) {
  std::vector<ProcessInfo> all;
  ASSERT_EQ(ListProcesses(&all), 0);
  auto self = std::find_if(all.begin(), all.end(),
                           [](const ProcessInfo& p) { return p.pid == getpid(); });
  ASSERT_NE(self, all.end());
  EXPECT_EQ(self->exe_path, std::filesystem::read_symlink("/proc/self/exe").string());
  EXPECT_EQ(self->name, "client_utilities_test");  // longer than the kernel keeps in comm
}

TEST(ProcessList, GoneProcessIsNotRead) {
  ProcessInfo info;
  EXPECT_FALSE(ReadProcessInfo("/proc", 0x7ffffff0, &info));
}

TEST(ProcessList, ChildUnderUpperCaseNameIsListed) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("plist-" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::path exe = dir / "NETSCAPE.EXE";
  fs::copy_file("/bin/sleep", exe, fs::copy_options::overwrite_existing);
  pid_t child = fork();
  if (child == 0) {
    execl(exe.c_str(), exe.c_str(), "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(child, 0);
  // The exec may not have happened yet; look a bounded number of times.
  ProcessInfo info;
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(ReadProcessInfo("/proc", child, &info));
    if (info.name == "NETSCAPE.EXE") break;
    usleep(10000);
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  fs::remove_all(dir);
  EXPECT_EQ(info.name, "NETSCAPE.EXE");
  EXPECT_EQ(info.exe_path, exe.string());
}

}  // namespace
}  // namespace platform
