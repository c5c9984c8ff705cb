// Commands run to their end, are cut off at the deadline, and never flood the caller.
#include "platform/run_command.h"

#include <gtest/gtest.h>

#include "platform/local_networks.h"

namespace platform {
namespace {

TEST(RunCommand, ExitStatusAndBothStreams) {
  std::string out;
  std::string err;
  EXPECT_EQ(RunCommand({"sh", "-c", "echo one; echo two >&2; exit 3"}, &out, &err), 3);
  EXPECT_EQ(out, "one\n");
  EXPECT_EQ(err, "two\n");
  EXPECT_EQ(RunCommand({"no-such-command-wayfarer"}, &out), kCommandNotStarted);
}

TEST(RunCommand, HangingCommandIsKilledAtTheDeadline) {
  std::string out;
  // The shell's child holds the pipe too: both end at the deadline.
  EXPECT_EQ(RunCommand({"sh", "-c", "echo started; sleep 30"}, &out, nullptr, 300),
            kCommandTimedOut);
  EXPECT_EQ(out, "started\n");
}

TEST(RunCommand, OutputIsBounded) {
  std::string out;
  EXPECT_EQ(RunCommand({"sh", "-c", "head -c 200000 /dev/zero"}, &out), 0);
  EXPECT_EQ(out.size(), kCommandOutputLimit);
}

TEST(LanNetwork, OwnNetworkOrTheAddressesSlash24) {
  EXPECT_EQ(LanNetworkFor("gateway"), "");
  // 192.0.2.0/24 is documentation space: no interface of a test machine holds it.
  EXPECT_EQ(LanNetworkFor("192.0.2.77"), "192.0.2.0/24");
}

}  // namespace
}  // namespace platform
