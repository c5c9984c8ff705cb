// pppd's log lines and exit codes as documented in its manual page, its options-file quoting,
// and the interface check over getifaddrs.
#include "platform/pppd_output.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

namespace platform {
namespace {

// pppd's exit codes that say why the link ended.
constexpr int kExitConnectFailed = 8;
constexpr int kExitPeerDead = 15;
constexpr int kExitHangup = 16;
constexpr int kExitAuthToPeerFailed = 19;

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// The first word after prefix, or "".
std::string WordAfter(const std::string& line, const std::string& prefix) {
  std::istringstream in(line.substr(prefix.size()));
  std::string word;
  in >> word;
  return word;
}

bool HasControlCharacter(const std::string& s) {
  for (unsigned char c : s) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// A pppd option word in double quotes; backslash and quote are escaped with a backslash.
std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

PppdEvent ParsePppdLine(const std::string& line, PppdProgress* progress) {
  if (StartsWith(line, "Using interface ")) {
    progress->interface_name = WordAfter(line, "Using interface ");
    return PppdEvent::kNone;
  }
  if (StartsWith(line, "Connect: ")) {
    progress->interface_name = WordAfter(line, "Connect: ");
    return PppdEvent::kLinkUp;
  }
  if (line.find("authentication succeeded") != std::string::npos) return PppdEvent::kAuthenticated;
  if (line.find("authentication failed") != std::string::npos) {
    progress->authentication_failed = true;
    return PppdEvent::kNone;
  }
  if (StartsWith(line, "local  IP address ")) {
    progress->addresses.local = WordAfter(line, "local  IP address ");
    return PppdEvent::kNone;
  }
  if (StartsWith(line, "remote IP address ")) {
    progress->addresses.server = WordAfter(line, "remote IP address ");
    return PppdEvent::kAddressesKnown;
  }
  return PppdEvent::kNone;
}

long PppdExitError(int exit_code, bool was_connected, bool authentication_failed) {
  if (authentication_failed || exit_code == kExitAuthToPeerFailed) return kDialErrorAuthentication;
  if (exit_code == kExitConnectFailed) return kDialErrorNoAnswer;
  if (exit_code == kExitHangup || exit_code == kExitPeerDead || was_connected) {
    return kDialErrorRemoteDisconnected;
  }
  return kDialErrorDeviceFailed;
}

bool PppdCredentialOptions(const DialParams& params, std::string* text) {
  if (HasControlCharacter(params.user) || HasControlCharacter(params.password) ||
      HasControlCharacter(params.domain)) {
    return false;
  }
  std::string user = params.domain.empty() ? params.user : params.domain + "\\" + params.user;
  text->clear();
  if (!user.empty()) *text += "user " + Quoted(user) + "\n";
  if (!params.password.empty()) *text += "password " + Quoted(params.password) + "\n";
  return true;
}

int WritePrivateOptionsFile(const std::string& base_dir, const std::string& text,
                            std::string* dir) {
  std::string pattern = base_dir + "/wayfarer-ppp-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return -1;  // mkdtemp makes it 0700
  std::string path = pattern + "/options";
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  bool ok = fd >= 0 && fchmod(fd, 0600) == 0;
  size_t done = 0;
  while (ok && done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  if (fd >= 0) ok = close(fd) == 0 && ok;
  if (!ok) {
    RemovePrivateOptionsFile(pattern);
    return -1;
  }
  *dir = pattern;
  return 0;
}

void RemovePrivateOptionsFile(const std::string& dir) {
  if (dir.empty()) return;
  unlink((dir + "/options").c_str());
  rmdir(dir.c_str());
}

bool InterfaceIsUp(const std::string& name, std::string* address) {
  ifaddrs* list = nullptr;
  if (name.empty() || getifaddrs(&list) != 0) return false;
  bool up = false;
  for (ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
    if (name != ifa->ifa_name || (ifa->ifa_flags & IFF_UP) == 0) continue;
    up = true;
    if (ifa->ifa_addr != nullptr && ifa->ifa_addr->sa_family == AF_INET) {
      char text[INET_ADDRSTRLEN] = {};
      auto* in = reinterpret_cast<sockaddr_in*>(ifa->ifa_addr);
      if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) *address = text;
    }
  }
  freeifaddrs(list);
  return up;
}

}  // namespace platform
