// Outfitter on a fake Linux desktop: a private mount namespace with a fake /etc and home over
// the real paths. Files are checked byte for byte (a run writes exactly these lines, a second
// run changes nothing, Restore brings every file back); GNOME is the real gsettings on its
// keyfile backend; nmcli and resolvectl are stand-ins on PATH that log their arguments.
#include "clientsetup/desktop_setup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "clientsetup/configuration_run.h"
#include "clientsetup/hosts_and_dns.h"
#include "clientsetup/mozilla_profiles.h"
#include "clientsetup/testing/fake_machine.h"
#include "diagnostics/desktop_sections.h"
#include "diagnostics/report_writer.h"
#include "diagnostics/system_sections.h"
#include "platform/run_command.h"
#include "platform/shell_open.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace clientsetup {
namespace {

using platform::testing::MessageRecorder;
using testing::FakeMachine;

constexpr char kHosts[] = "127.0.0.1\tlocalhost\n10.9.9.9 gate\n";
constexpr char kResolv[] =
    "# written by hand\nnameserver 10.0.0.5\nnameserver 10.0.0.6\nnameserver 10.0.0.7\n"
    "options edns0\n";
constexpr char kEnvironment[] = "LANG=C.UTF-8\nexport http_proxy=http://old:3128/\n";
constexpr char kProfilesIni[] =
    "[General]\nStartWithLastProfile=1\n\n[Profile0]\nName=default-release\nIsRelative=1\n"
    "Path=abcd.default-release\nDefault=1\n\n[Profile1]\nName=work\nIsRelative=0\nPath=";
constexpr char kOldUserJs[] =
    "user_pref(\"browser.startup.page\", 3);\nuser_pref(\"network.proxy.type\", 0);\n";
constexpr char kThunderbirdPrefs[] =
    "user_pref(\"mail.server.server1.hostname\", \"pop.isp.net\");\n"
    "user_pref(\"mail.server.server1.type\", \"pop3\");\n"
    "user_pref(\"mail.server.server1.userName\", \"ann\");\n"
    "user_pref(\"mail.server.server2.hostname\", \"imap.isp.net\");\n"
    "user_pref(\"mail.server.server2.type\", \"imap\");\n"
    "user_pref(\"mail.server.server2.userName\", \"ann\");\n";
constexpr char kKioslaverc[] = "[Proxy Settings]\nProxyType=0\n\n[Cache]\nMaxCacheSize=5120\n";

constexpr char kProxyLines[] =
    "user_pref(\"network.proxy.type\", 1);\n"
    "user_pref(\"network.proxy.http\", \"gate\");\n"
    "user_pref(\"network.proxy.http_port\", 80);\n"
    "user_pref(\"network.proxy.ssl\", \"gate\");\n"
    "user_pref(\"network.proxy.ssl_port\", 80);\n"
    "user_pref(\"network.proxy.socks\", \"gate\");\n"
    "user_pref(\"network.proxy.socks_port\", 1080);\n"
    "user_pref(\"network.proxy.socks_version\", 4);\n"
    "user_pref(\"network.proxy.no_proxies_on\", \"localhost, 127.0.0.1, ::1, 192.168.0.0/24\");\n";

SetupSettings Settings() {
  SetupSettings s;
  s.GatewayName = "gate";
  s.GatewayAddress = "192.168.0.1";
  s.UserName = "ann";
  s.Pop3Server = "pop.isp.net";
  s.ReturnAddress = "ann@isp.net";
  return s;
}

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string why = testing::EnterPrivateNamespaces();
    if (!why.empty()) GTEST_SKIP() << why;
    machine_ = std::make_unique<FakeMachine>();
    ASSERT_TRUE(machine_->ok()) << "the fake /etc and home are not in place: nothing may run";
    home_ = machine_->home();
    ASSERT_EQ(chdir(machine_->root().c_str()), 0);
  }
  void TearDown() override {
    if (machine_) (void)chdir("/");
    machine_.reset();
  }

  // A machine with every client installed: the files of the run, by path.
  std::vector<std::string> Install() {
    FakeMachine::Write("/etc/hosts", kHosts);
    FakeMachine::Write("/etc/resolv.conf", kResolv);
    FakeMachine::Write("/etc/environment", kEnvironment, 0640);
    FakeMachine::Write("/etc/apt/apt.conf.d/70debconf", "// kept\n");
    const std::string ff = home_ + "/.mozilla/firefox";
    FakeMachine::Write(ff + "/profiles.ini", kProfilesIni + ff + "/../work-profile\n");
    FakeMachine::Write(ff + "/abcd.default-release/prefs.js", "// prefs\n");
    FakeMachine::Write(ff + "/abcd.default-release/user.js", kOldUserJs, 0600);
    FakeMachine::Write(home_ + "/.mozilla/work-profile/prefs.js", "// prefs\n");
    const std::string tb = home_ + "/.thunderbird";
    FakeMachine::Write(tb + "/profiles.ini", "[Profile0]\nName=default\nIsRelative=1\nPath=x1\n");
    FakeMachine::Write(tb + "/x1/prefs.js", kThunderbirdPrefs);
    FakeMachine::Write(home_ + "/.config/kioslaverc", kKioslaverc);
    return {"/etc/hosts",
            "/etc/resolv.conf",
            "/etc/environment",
            ff + "/abcd.default-release/user.js",
            home_ + "/.mozilla/work-profile/user.js",
            tb + "/x1/user.js",
            home_ + "/.config/kioslaverc",
            home_ + "/.config/environment.d/60-wayfarer-proxy.conf",
            "/etc/apt/apt.conf.d/80wayfarer-proxy"};
  }

  struct FileState {
    bool exists;
    std::string content;
    unsigned mode;
    bool operator==(const FileState&) const = default;
  };
  static std::map<std::string, FileState> Snapshot(const std::vector<std::string>& paths) {
    std::map<std::string, FileState> states;
    for (const std::string& p : paths) {
      struct stat st {};
      const bool exists = stat(p.c_str(), &st) == 0;
      states[p] = {exists, FakeMachine::Read(p), exists ? (st.st_mode & 07777u) : 0u};
    }
    return states;
  }
  static std::string Gnome(const std::string& schema, const std::string& key) {
    std::string out;
    (void)platform::RunCommand({"gsettings", "get", schema, key}, &out);
    return out;
  }

  int Run(const SetupSettings& s) {
    SetupHooks hooks;
    hooks.test_gateway = [] { return 0; };
    hooks.find_process = [](const std::string&) { return 0; };
    hooks.show_help = [](int) {};
    hooks.journal = &journal_;
    hooks.configure_desktop = [this](const SetupSettings& settings, RunReport* report) {
      ConfigureDesktop(settings, &journal_, report);
    };
    return RunConfiguration(s, hooks);
  }

  platform::testing::TempStore store_;
  std::unique_ptr<FakeMachine> machine_;
  std::string home_;
  ChangeJournal journal_{ChangeJournal::DefaultDirectory()};
};

TEST_F(DesktopTest, RunWritesExactlyTheLinesSecondRunNothingRestorePutsAllBack) {
  const std::vector<std::string> paths = Install();
  const auto before = Snapshot(paths);
  const std::string gnome_mode = Gnome("org.gnome.system.proxy", "mode");
  MessageRecorder messages;
  ASSERT_EQ(Run(Settings()), 1);
  ASSERT_FALSE(messages.messages().empty());
  EXPECT_EQ(messages.messages().back().caption, "Setup Complete") << messages.texts().back();

  EXPECT_EQ(FakeMachine::Read("/etc/hosts"), "127.0.0.1\tlocalhost\n192.168.0.1     gate\n");
  EXPECT_EQ(FakeMachine::Read("/etc/resolv.conf"),
            "# written by hand\nnameserver 192.168.0.1\nnameserver 10.0.0.5\n"
            "nameserver 10.0.0.6\noptions edns0\n");
  const std::string variables =
      "http_proxy=http://gate:80/\nhttps_proxy=http://gate:80/\nftp_proxy=http://gate:80/\n"
      "no_proxy=localhost,127.0.0.1,::1,192.168.0.0/24\n";
  EXPECT_EQ(FakeMachine::Read("/etc/environment"), "LANG=C.UTF-8\n" + variables);
  EXPECT_EQ(FakeMachine::Read(paths[7]), variables);
  EXPECT_EQ(FakeMachine::Read(paths[8]),
            "Acquire::http::Proxy \"http://gate:80/\";\nAcquire::https::Proxy "
            "\"http://gate:80/\";\nAcquire::http::Pipeline-Depth \"0\";\n");
  EXPECT_EQ(FakeMachine::Read(paths[3]),
            std::string("user_pref(\"browser.startup.page\", 3);\n") + kProxyLines);
  EXPECT_EQ(FakeMachine::Read(paths[4]), kProxyLines);
  EXPECT_EQ(FakeMachine::Read(paths[5]),
            std::string(kProxyLines) +
                "user_pref(\"mail.server.server1.hostname\", \"gate\");\n"
                "user_pref(\"mail.server.server1.userName\", \"ann<pop.isp.net>\");\n");
  EXPECT_EQ(FakeMachine::Read(paths[6]),
            "[Proxy Settings]\nProxyType=1\n\nhttpProxy=http://gate 80\nhttpsProxy=http://gate "
            "80\nsocksProxy=socks://gate 1080\nNoProxyFor=localhost,127.0.0.1,::1,192.168.0.0/"
            "24\n[Cache]\nMaxCacheSize=5120\n");
  EXPECT_EQ(Gnome("org.gnome.system.proxy", "mode"), "'manual'\n");
  EXPECT_EQ(Gnome("org.gnome.system.proxy.https", "host"), "'gate'\n");
  EXPECT_EQ(Gnome("org.gnome.system.proxy.socks", "port"), "1080\n");
  EXPECT_EQ(Gnome("org.gnome.system.proxy", "ignore-hosts"),
            "['localhost', '127.0.0.0/8', '::1', '192.168.0.0/24']\n");
  // Modes stay as they were.
  const auto after = Snapshot(paths);
  EXPECT_EQ(after.at("/etc/environment").mode, 0640u);
  EXPECT_EQ(after.at(paths[3]).mode, 0600u);

  ASSERT_EQ(Run(Settings()), 1);
  EXPECT_EQ(Snapshot(paths), after);
  const std::string second = messages.texts().back();
  EXPECT_EQ(second.find("Changed:"), std::string::npos) << second;

  ASSERT_EQ(RestoreDesktop(&journal_), 0) << messages.texts().back();
  EXPECT_EQ(Snapshot(paths), before);
  EXPECT_EQ(Gnome("org.gnome.system.proxy", "mode"), gnome_mode);
  EXPECT_TRUE(journal_.Empty());
}

// The written user.js is what the programs' own preference reader accepts: JavaScript calls.
TEST_F(DesktopTest, UserJsLoadsAsJavaScript) {
  if (platform::FindOnPath("node").empty()) GTEST_SKIP() << "node is not installed";
  Install();
  MessageRecorder messages;
  ASSERT_EQ(Run(Settings()), 1);
  const std::string script =
      "const p = {}; function user_pref(n, v) { p[n] = v; }"
      "eval(require('fs').readFileSync(process.argv[1], 'utf8'));"
      "console.log([p['network.proxy.type'], p['network.proxy.ssl'], p['network.proxy.ssl_port'],"
      " p['mail.server.server1.userName'], Object.keys(p).length].join('|'));";
  std::string out;
  std::string err;
  ASSERT_EQ(
      platform::RunCommand({"node", "-e", script, home_ + "/.thunderbird/x1/user.js"}, &out, &err),
      0)
      << err;
  EXPECT_EQ(out, "1|gate|80|ann<pop.isp.net>|11\n");
}

TEST_F(DesktopTest, ProfileInUseIsReportedAndLeftAlone) {
  const std::vector<std::string> paths = Install();
  const std::string profile = home_ + "/.mozilla/firefox/abcd.default-release";
  ASSERT_EQ(
      symlink(("127.0.0.1:+" + std::to_string(getpid())).c_str(), (profile + "/lock").c_str()), 0);
  MessageRecorder messages;
  ASSERT_EQ(Run(Settings()), 1);
  EXPECT_EQ(FakeMachine::Read(profile + "/user.js"), kOldUserJs);
  EXPECT_EQ(messages.messages().back().caption, "Setup not complete");
  EXPECT_NE(messages.texts().back().find("Firefox profile \"default-release\": not changed (in "
                                         "use by a running Firefox"),
            std::string::npos)
      << messages.texts().back();
  // A lock left behind by a program that has ended holds nothing.
  ASSERT_EQ(unlink((profile + "/lock").c_str()), 0);
  ASSERT_EQ(symlink("127.0.0.1:+999999999", (profile + "/lock").c_str()), 0);
  EXPECT_FALSE(ProfileInUse(profile));
}

TEST_F(DesktopTest, HostsGetOnlyOneAddressAndNeedRoot) {
  FakeMachine::Write("/etc/hosts", "192.168.0.9 gatebox\n10.1.1.1 twin\n10.1.1.2 twin\n");
  const std::string before = FakeMachine::Read("/etc/hosts");
  SetupSettings s = Settings();
  s.GatewayAddress = "twin";
  MessageRecorder messages;
  EXPECT_EQ(Run(s), 1);
  EXPECT_EQ(FakeMachine::Read("/etc/hosts"), before);
  EXPECT_EQ(messages.messages().back().caption, "Setup not complete");
  EXPECT_NE(messages.texts().back().find("\"twin\" resolves to 2 IPv4 addresses"),
            std::string::npos)
      << messages.texts().back();

  s.GatewayAddress = "gatebox";
  RunReport report;
  AddHostsEntry(s, nullptr, &report);
  EXPECT_EQ(FakeMachine::Read("/etc/hosts"), "\n192.168.0.9     gate\n" + before);

  // Another user may not write the hosts file: reported, not done.
  pid_t child = fork();
  if (child == 0) {
    if (chdir("/tmp") != 0 || setresgid(65534, 65534, 65534) != 0 ||
        setresuid(65534, 65534, 65534) != 0) {
      _exit(2);
    }
    RunReport mine;
    AddHostsEntry(Settings(), nullptr, &mine);
    _exit(mine.failed.size() == 1 &&
                  mine.failed[0] == "Hosts file /etc/hosts: not changed (needs root)"
              ? 0
              : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(DesktopTest, NetworkManagerGetsTheGatewayFirstAndBackOnRestore) {
  Install();
  machine_->AddCommand("nmcli", R"(case "$*" in
  "-t -f RUNNING general") echo running ;;
  "-t -f NAME,DEVICE connection show --active") printf 'lo:lo\nWired connection 1:wfdesk0\n' ;;
  "-g ipv4.dns connection show Wired connection 1") echo 10.0.0.5,10.0.0.6 ;;
esac)");
  MessageRecorder messages;
  ASSERT_EQ(Run(Settings()), 1);
  EXPECT_EQ(FakeMachine::Read("/etc/resolv.conf"), kResolv);
  ASSERT_EQ(RestoreDesktop(&journal_), 0);
  const std::string log = machine_->CommandLog();
  const std::string set =
      "nmcli connection modify Wired connection 1 ipv4.dns 192.168.0.1,10.0.0.5,10.0.0.6\n"
      "nmcli device reapply wfdesk0\n";
  const std::string undo =
      "nmcli connection modify Wired connection 1 ipv4.dns 10.0.0.5,10.0.0.6\n"
      "nmcli device reapply wfdesk0\n";
  EXPECT_NE(log.find(set), std::string::npos) << log;
  EXPECT_NE(log.find(undo), std::string::npos) << log;
  EXPECT_LT(log.find(set), log.find(undo));
}

TEST_F(DesktopTest, ResolvedGetsTheGatewayFirstAndAForeignLinkIsKept) {
  FakeMachine::Write("/etc/hosts", kHosts);
  ASSERT_EQ(symlink("../run/systemd/resolve/stub-resolv.conf", "/etc/resolv.conf"), 0);
  machine_->AddCommand("resolvectl", R"(case "$*" in
  "dns wfdesk0") echo "Link 3 (wfdesk0): 10.0.0.5" ;;
esac)");
  MessageRecorder messages;
  RunReport report;
  ConfigureDesktop(Settings(), &journal_, &report);
  ASSERT_EQ(RestoreDesktop(&journal_), 0);
  EXPECT_NE(machine_->CommandLog().find("resolvectl dns wfdesk0 192.168.0.1 10.0.0.5\n"
                                        "resolvectl dns wfdesk0 10.0.0.5\n"),
            std::string::npos)
      << machine_->CommandLog();

  ASSERT_EQ(unlink("/etc/resolv.conf"), 0);
  ASSERT_EQ(symlink("/run/resolvconf/resolv.conf", "/etc/resolv.conf"), 0);
  report = {};
  ConfigureDesktop(Settings(), &journal_, &report);
  bool reported = false;
  for (const std::string& line : report.failed) {
    reported =
        reported || line.find("it is a link to /run/resolvconf/resolv.conf") != std::string::npos;
  }
  EXPECT_TRUE(reported);
  struct stat st {};
  ASSERT_EQ(lstat("/etc/resolv.conf", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// gsettings without a settings service keeps values in memory: that is no change made.
TEST_F(DesktopTest, GnomeSettingsThatAreNotSavedAreReported) {
  setenv("GSETTINGS_BACKEND", "memory", 1);
  MessageRecorder messages;
  RunReport report;
  ConfigureDesktop(Settings(), &journal_, &report);
  setenv("GSETTINGS_BACKEND", "keyfile", 1);
  EXPECT_NE(std::find(report.failed.begin(), report.failed.end(),
                      "GNOME proxy: not saved (no settings service in this session)"),
            report.failed.end());
}

// Lookout on the same fake machine after a run: its desktop lines, line by line.
TEST_F(DesktopTest, LookoutReportsWhatTheDesktopUses) {
  Install();
  FakeMachine::Write("/etc/os-release", "NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12\"\n");
  machine_->AddCommand("xdg-settings", "echo firefox-esr.desktop");
  MessageRecorder messages;
  ASSERT_EQ(Run(Settings()), 1);
  const std::string path = machine_->root() + "/report.txt";
  std::FILE* file = std::fopen(path.c_str(), "w");
  ASSERT_NE(file, nullptr);
  diagnostics::ReportWriter w(file);
  (void)diagnostics::WriteOperatingSystemSection(w, true);
  diagnostics::WriteDnsSection(w, false, true);
  diagnostics::WriteDefaultBrowserSection(w, true);
  diagnostics::WriteDesktopProxySection(w, diagnostics::StoredGateway());
  std::fclose(file);
  utsname u{};
  ASSERT_EQ(uname(&u), 0);
  const std::string expected =
      "SECTION : Operating System\nOS is Windows NT\nLinux is Debian GNU/Linux 12\n"
      "Kernel is " +
      std::string(u.sysname) + " " + u.release +
      "\n\n"
      "SECTION : DNS Search Order\nE 109 : Registry Key is Invalid\nError Code = 2\n"
      "Name servers in use = 192.168.0.1 10.0.0.5 10.0.0.6 (/etc/resolv.conf)\n"
      "Gateway first       = yes\n\n\n"
      "SECTION : Default Browser\nE 109 : Registry Key is Invalid\nError Code = 2\n"
      "xdg-settings browser= firefox-esr.desktop\n\n\n"
      "SECTION : Desktop Proxies\n"
      "Gateway             = gate 192.168.0.1\n"
      "Firefox profile     = default-release\n"
      "  Proxy type        = manual\n"
      "  Http Proxy        = gate:80\n"
      "  SSL Proxy         = gate:80\n"
      "  Socks Proxy       = gate:1080\n"
      "  Uses the gateway  = yes\n"
      "Firefox profile     = work\n"
      "  Proxy type        = manual\n"
      "  Http Proxy        = gate:80\n"
      "  SSL Proxy         = gate:80\n"
      "  Socks Proxy       = gate:1080\n"
      "  Uses the gateway  = yes\n"
      "GNOME proxy         = manual\n"
      "  Http Proxy        = gate:80\n"
      "  Uses the gateway  = yes\n"
      "http_proxy in /etc/environment= http://gate:80/\n"
      "  Uses the gateway  = yes\n"
      "http_proxy in environment.d= http://gate:80/\n"
      "  Uses the gateway  = yes\n";
  const std::string report = FakeMachine::Read(path);
  ASSERT_EQ(report.substr(0, expected.size()), expected);
  EXPECT_EQ(report.substr(expected.size()).rfind("http_proxy now      = ", 0), 0u) << report;
}

}  // namespace
}  // namespace clientsetup
