// The scratch copy and whole-file replacement, including a write that fails part-way.
#include "clientsetup/scratch_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "clientsetup/testing/setup_test_environment.h"

namespace clientsetup {
namespace {

using testing::SetupTestEnvironment;

TEST(ScratchFile, CopyAndLinesKeepLongLinesWhole) {
  SetupTestEnvironment env;
  const std::string text = "short\n" + std::string(5000, 'x') + "\nlast";
  SetupTestEnvironment::Write(env.root() + "/in.txt", text);
  EXPECT_EQ(CopyToTempFile(env.root() + "/in.txt"), 1);
  EXPECT_EQ(SetupTestEnvironment::Read(env.temp_file()), text);
  std::vector<std::string> lines;
  ASSERT_TRUE(ReadTextLines(kTempFileName, &lines));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].size(), 5001u);
  EXPECT_EQ(lines[2], "last");
  EXPECT_EQ(CopyToTempFile(env.root() + "/missing.txt"), 0);
  EXPECT_EQ(CopyToTempFile(""), 0);
}

TEST(ScratchFile, ReplaceKeepsModeAndLeavesNoSideFile) {
  SetupTestEnvironment env;
  const std::string path = env.root() + "/file.ini";
  SetupTestEnvironment::Write(path, "old\n");
  std::filesystem::permissions(path, std::filesystem::perms(0600));
  EXPECT_EQ(ReplaceFileContents(path, "new\n"), 0);
  EXPECT_EQ(SetupTestEnvironment::Read(path), "new\n");
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0600));
  EXPECT_FALSE(std::filesystem::exists(path + ".wayfarer-new"));
}

TEST(ScratchFile, FailedWriteLeavesOriginalWhole) {
  SetupTestEnvironment env;
  const std::string path = env.root() + "/hosts";
  SetupTestEnvironment::Write(path, "127.0.0.1 localhost\n");
  SetupTestEnvironment::Write(path + ".big", std::string(4096, 'b'));
  // A file size limit stands for a full disk: the write of the new version fails part-way.
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int result = ReplaceFileContents(path, std::string(4096, 'x'));
  const int copy_result = CopyToTempFile(path + ".big");  // a short copy is no copy
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old_limit), 0);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(copy_result, 0);
  EXPECT_EQ(SetupTestEnvironment::Read(path), "127.0.0.1 localhost\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".wayfarer-new"));
}

}  // namespace
}  // namespace clientsetup
