// Shell open: starts the handler found on PATH without waiting for it; no handler is no crash.
#include "platform/shell_open.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

namespace fs = std::filesystem;

class ShellOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("shellopen-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    const char* path = std::getenv("PATH");
    old_path_ = path ? path : "";
  }
  void TearDown() override {
    setenv("PATH", old_path_.c_str(), 1);
    fs::remove_all(dir_);
  }
  fs::path dir_;
  std::string old_path_;
};

TEST_F(ShellOpenTest, MissingOpenerFailsSoftly) {
  setenv("PATH", dir_.c_str(), 1);
  EXPECT_EQ(FindOnPath("xdg-open"), "");
  EXPECT_EQ(ShellOpen("file:///nowhere.html"), -1);
}

TEST_F(ShellOpenTest, OpenerReceivesTheTarget) {
  fs::path script = dir_ / "xdg-open";
  fs::path seen = dir_ / "seen";
  {
    std::ofstream out(script);
    out << "#!/bin/sh\nprintf '%s' \"$1\" > " << seen.string() << ".tmp && /bin/mv "
        << seen.string() << ".tmp " << seen.string() << "\n";
  }
  fs::permissions(script, fs::perms::owner_all);
  setenv("PATH", dir_.c_str(), 1);
  ASSERT_EQ(ShellOpen("file:///help/page.html#c1"), 0);
  for (int i = 0; i < 500 && !fs::exists(seen); ++i) usleep(10000);
  std::ifstream in(seen);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "file:///help/page.html#c1");
}

}  // namespace
}  // namespace platform
