// Namespaces, bind mounts and the checks that the mounts really cover the machine's files.
#include "clientsetup/testing/fake_machine.h"

#include <fcntl.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace clientsetup::testing {
namespace {

namespace fs = std::filesystem;

std::string g_real_etc;  // the machine's /etc, bound elsewhere for the links

// Entries of /etc the tests write; everything else links to the real one.
constexpr const char* kFakeEntries[] = {"hosts", "resolv.conf", "environment", "apt", "os-release"};

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::string RealHome() {
  const passwd* pw = getpwuid(getuid());
  return pw != nullptr && pw->pw_dir != nullptr ? pw->pw_dir : "";
}

}  // namespace

std::string EnterPrivateNamespaces() {
  static std::string result = []() -> std::string {
    if (geteuid() != 0) return "needs root for private mount namespaces";
    if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) return "unshare refused";
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      return "mounts cannot be made private";
    }
    // A dummy interface where the kernel has them, else a tun device: either carries the route.
    if (std::system("ip link set lo up && { ip link add wfdesk0 type dummy 2>/dev/null || "
                    "ip tuntap add wfdesk0 mode tun; } && "
                    "ip addr add 192.168.0.5/24 dev wfdesk0 && ip link set wfdesk0 up") != 0) {
      return "no dummy interface (ip from iproute2 needed)";
    }
    char dir_template[] = "/tmp/wayfarer-real-etc-XXXXXX";
    if (mkdtemp(dir_template) == nullptr) return "no temporary directory";
    g_real_etc = dir_template;
    if (mount("/etc", g_real_etc.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
      return "cannot bind /etc";
    }
    std::atexit([] {
      umount2(g_real_etc.c_str(), MNT_DETACH);
      rmdir(g_real_etc.c_str());
    });
    return "";
  }();
  return result;
}

FakeMachine::FakeMachine() {
  if (!EnterPrivateNamespaces().empty()) return;
  char dir_template[] = "/tmp/wayfarer-machine-XXXXXX";
  if (mkdtemp(dir_template) == nullptr) return;
  root_ = dir_template;
  const std::string etc = root_ + "/etc";
  fs::create_directories(etc);
  fs::create_directories(root_ + "/home");
  fs::create_directories(root_ + "/bin");
  for (const auto& entry : fs::directory_iterator(g_real_etc)) {
    const std::string name = entry.path().filename();
    bool fake = false;
    for (const char* f : kFakeEntries) fake = fake || name == f;
    if (!fake) fs::create_symlink(entry.path(), etc + "/" + name);
  }
  etc_mounted_ = mount(etc.c_str(), "/etc", nullptr, MS_BIND, nullptr) == 0;
  home_ = RealHome();
  home_mounted_ = !home_.empty() && fs::is_directory(home_) &&
                  mount((root_ + "/home").c_str(), home_.c_str(), nullptr, MS_BIND, nullptr) == 0;
  // The proof: a file made through the real paths lands in the fake tree.
  Write("/etc/.wayfarer-probe", "x");
  Write(home_ + "/.wayfarer-probe", "x");
  ok_ = etc_mounted_ && home_mounted_ &&
        SameFile("/etc/.wayfarer-probe", etc + "/.wayfarer-probe") &&
        SameFile(home_ + "/.wayfarer-probe", root_ + "/home/.wayfarer-probe");
  if (ok_) {
    fs::remove(etc + "/.wayfarer-probe");
    fs::remove(root_ + "/home/.wayfarer-probe");
  }
  setenv("HOME", home_.c_str(), 1);
  unsetenv("XDG_STATE_HOME");
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("WAYFARER_HOSTS");
  unsetenv("WAYFARER_WINVER");
  setenv("GSETTINGS_BACKEND", "keyfile", 1);
  const char* path = std::getenv("PATH");
  old_path_ = path != nullptr ? path : "";
  setenv("PATH", (root_ + "/bin:/usr/sbin:/usr/bin:/sbin:/bin").c_str(), 1);
  setenv("LOG", (root_ + "/commands.log").c_str(), 1);
  // No manager unless a test installs one: the machine's own must never be reached.
  AddCommand("nmcli", "exit 8");
  AddCommand("resolvectl", "exit 1");
}

FakeMachine::~FakeMachine() {
  if (home_mounted_) umount2(home_.c_str(), MNT_DETACH);
  if (etc_mounted_) umount2("/etc", MNT_DETACH);
  if (!old_path_.empty()) setenv("PATH", old_path_.c_str(), 1);
  if (!root_.empty()) fs::remove_all(root_);
}

void FakeMachine::Write(const std::string& path, const std::string& text, unsigned mode) {
  fs::create_directories(fs::path(path).parent_path());
  { std::ofstream(path, std::ios::binary | std::ios::trunc) << text; }
  chmod(path.c_str(), mode);
}

std::string FakeMachine::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void FakeMachine::AddCommand(const std::string& name, const std::string& script_body) {
  const std::string path = root_ + "/bin/" + name;
  Write(path, "#!/bin/sh\necho \"" + name + " $*\" >> \"$LOG\"\n" + script_body + "\n", 0755);
}

std::string FakeMachine::CommandLog() const { return Read(root_ + "/commands.log"); }

}  // namespace clientsetup::testing
