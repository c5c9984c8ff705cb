// The pppd facility against a shell script standing in for pppd: it records its arguments and
// options file, then prints what pppd prints for the dial its user name asks for. The link's
// interface is the loopback interface, which is up on every machine.
#include "platform/dialup_pppd.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/testing/dial_progress.h"
#include "platform/testing/temp_store.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing::DialProgress;

constexpr char kStandIn[] = R"sh(#!/bin/sh
dir=$(dirname "$0")
echo "$$" > "$dir/pid"
printf '%s\n' "$@" > "$dir/args"
prev=""
for a in "$@"; do
  [ "$prev" = file ] && options="$a"
  prev="$a"
done
stat -c %a "$options" > "$dir/mode"
cat "$options" > "$dir/options"
user=$(sed -n 's/^user "\(.*\)"$/\1/p' "$options")
iface=lo
[ "$user" = ghost ] && iface=ppp97
echo "Using interface $iface"
echo "Connect: $iface <--> /dev/ttyS0"
if [ "$user" = refused ]; then echo "PAP authentication failed"; exit 19; fi
echo "PAP authentication succeeded"
echo "local  IP address 10.64.64.2"
echo "remote IP address 10.64.64.1"
if [ "$user" = drop ]; then sleep 0.2; echo "Modem hangup"; exit 16; fi
exec sleep 60
)sh";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class PppdDialupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = store_.dir();
    fs::create_directories(dir_ / "peers");
    fs::create_directories(dir_ / "run");
    std::ofstream(dir_ / "peers" / "isp") << "/dev/ttyS0 115200\n";
    std::ofstream(dir_ / "pppd") << kStandIn;
    fs::permissions(dir_ / "pppd", fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
    config_.pppd_path = (dir_ / "pppd").string();
    config_.peers_dir = (dir_ / "peers").string();
  }
  void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }

  DialParams Params(const std::string& user, const std::string& password = "pw") {
    DialParams params;
    params.entry = "isp";
    params.user = user;
    params.password = password;
    return params;
  }
  bool RunDirEmpty() { return fs::is_empty(dir_ / "run"); }

  testing::TempStore store_;
  fs::path dir_;
  PppdConfig config_;
};

TEST_F(PppdDialupTest, DialRunsPppdWithTheCredentialsOnlyInAPrivateFile) {
  PppdDialup facility(config_);
  DialProgress progress;
  DialHandle handle = 0;
  DialParams params = Params("office", R"(pa"ss\word)");
  params.domain = "CORP";
  ASSERT_EQ(facility.Dial(params, progress.target(), &handle), 0);
  ASSERT_TRUE(progress.WaitForState(kDialConnected));
  EXPECT_EQ(progress.states(), (std::vector<int>{kDialOpenPort, kDialAuthenticate,
                                                 kDialAuthenticated, kDialConnected}));

  std::string args = ReadAll(dir_ / "args");
  EXPECT_EQ(args.find("pa\"ss"), std::string::npos);
  EXPECT_NE(args.find("file\n" + (dir_ / "peers" / "isp").string() + "\n"), std::string::npos);
  EXPECT_NE(args.find("nodetach"), std::string::npos);
  EXPECT_EQ(ReadAll(dir_ / "mode"), "600\n");
  EXPECT_EQ(ReadAll(dir_ / "options"), "user \"CORP\\\\office\"\npassword \"pa\\\"ss\\\\word\"\n");
  EXPECT_TRUE(RunDirEmpty()) << "the options file outlived the log-on";

  LinkAddresses addresses;
  ASSERT_EQ(facility.GetProjection(handle, &addresses), 0);
  EXPECT_EQ(addresses.local, "10.64.64.2");
  EXPECT_EQ(addresses.server, "10.64.64.1");
  std::vector<ActiveConnection> active;
  ASSERT_EQ(facility.EnumConnections(1, &active), 0);
  ASSERT_EQ(active.size(), 1u);
  EXPECT_EQ(active[0].entry, "isp");
  DialHandle second = 0;
  EXPECT_EQ(facility.Dial(Params("office"), 0, &second), kDialErrorPortAlreadyOpen);

  pid_t pid = std::stoi(ReadAll(dir_ / "pid"));
  EXPECT_EQ(facility.HangUp(handle), 0);
  EXPECT_EQ(kill(pid, 0), -1) << "pppd still runs after the hang-up";
  DialStatus status;
  EXPECT_EQ(facility.GetConnectStatus(handle, &status), kDialErrorInvalidHandle);
  progress.Drain();
  EXPECT_EQ(progress.states().back(), kDialConnected) << "progress posted after the hang-up";
}

TEST_F(PppdDialupTest, FailuresBecomeDisconnectedWithTheirCode) {
  PppdDialup facility(config_);
  struct Case {
    const char* user;
    long error;
  } cases[] = {{"refused", kDialErrorAuthentication},
               {"drop", kDialErrorRemoteDisconnected},
               {"ghost", kDialErrorNotConnected}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    DialProgress progress;
    DialHandle handle = 0;
    ASSERT_EQ(facility.Dial(Params(c.user), progress.target(), &handle), 0);
    ASSERT_TRUE(progress.WaitForState(kDialDisconnected));
    EXPECT_EQ(progress.last_error(), c.error);
    DialStatus status;
    ASSERT_EQ(facility.GetConnectStatus(handle, &status), 0);
    EXPECT_EQ(status.state, kDialDisconnected);
    std::vector<ActiveConnection> active;
    ASSERT_EQ(facility.EnumConnections(1, &active), 0);
    EXPECT_TRUE(active.empty());
    EXPECT_EQ(facility.HangUp(handle), 0);
    EXPECT_TRUE(RunDirEmpty());
  }
}

TEST_F(PppdDialupTest, EntriesAreThePlainFilesOfThePeersDirectory) {
  std::ofstream(dir_ / "peers" / ".hidden") << "x";
  std::ofstream(dir_ / "peers" / "isp~") << "x";
  std::ofstream(dir_ / "peers" / "backup") << "x";
  fs::create_directories(dir_ / "peers" / "sub");
  PppdDialup facility(config_);
  std::vector<std::string> entries;
  ASSERT_EQ(facility.EnumEntries(&entries), 0);
  EXPECT_EQ(entries, (std::vector<std::string>{"backup", "isp"}));

  DialHandle handle = 0;
  for (const char* entry : {"missing", "../peers/isp", "sub", ""}) {
    DialParams params = Params("office");
    params.entry = entry;
    EXPECT_EQ(facility.Dial(params, 0, &handle), kDialErrorEntryNotFound) << entry;
  }
}

TEST_F(PppdDialupTest, NothingRunsForUnsafeCredentialsOrAMissingProgram) {
  PppdDialup facility(config_);
  DialHandle handle = 0;
  EXPECT_EQ(facility.Dial(Params("office", "pw\nplugin evil.so"), 0, &handle),
            kDialErrorInvalidParameter);
  EXPECT_FALSE(fs::exists(dir_ / "args"));
  config_.pppd_path = (dir_ / "no-such-pppd").string();
  PppdDialup missing(config_);
  EXPECT_EQ(missing.Dial(Params("office"), 0, &handle), kDialErrorCannotStart);
  EXPECT_EQ(handle, 0u);
  EXPECT_TRUE(RunDirEmpty());
}

TEST_F(PppdDialupTest, ConfigurationComesFromTheEnvironmentFirst) {
  setenv("WAYFARER_PPPD", "/opt/test/pppd", 1);
  setenv("WAYFARER_PPP_PEERS", "/opt/test/peers", 1);
  PppdConfig config = LoadPppdConfig();
  unsetenv("WAYFARER_PPPD");
  unsetenv("WAYFARER_PPP_PEERS");
  EXPECT_EQ(config.pppd_path, "/opt/test/pppd");
  EXPECT_EQ(config.peers_dir, "/opt/test/peers");
  EXPECT_EQ(LoadPppdConfig().peers_dir, "/etc/ppp/peers");
}

}  // namespace
}  // namespace platform
