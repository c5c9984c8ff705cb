// OS family and directory stand-ins follow the environment.
#include "platform/os_info.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace platform {
namespace {

TEST(OsInfo, FamilyAndHostsPathFollowTheEnvironment) {
  unsetenv("WAYFARER_WINVER");
  unsetenv("WAYFARER_HOSTS");
  setenv("WAYFARER_WINDIR", "/tmp/wf-windows", 1);
  EXPECT_EQ(GetOsVersion().platform_id, kPlatformWinNt);
  EXPECT_EQ(GetOsVersion().major, 4);
  EXPECT_EQ(HostsFilePath(), "/etc/hosts");
  EXPECT_EQ(SystemDirectory(), "/tmp/wf-windows/system32");
  setenv("WAYFARER_WINVER", "95", 1);
  EXPECT_TRUE(IsWin95Family());
  EXPECT_EQ(HostsFilePath(), "/tmp/wf-windows/hosts");
  setenv("WAYFARER_HOSTS", "/tmp/other-hosts", 1);
  EXPECT_EQ(HostsFilePath(), "/tmp/other-hosts");
  unsetenv("WAYFARER_WINVER");
  unsetenv("WAYFARER_HOSTS");
  unsetenv("WAYFARER_WINDIR");
}

TEST(OsInfo, NativePathTurnsBackslashes) {
  EXPECT_EQ(NativePath("cache\\www.example.com\\index"), "cache/www.example.com/index");
}

}  // namespace
}  // namespace platform
