// Reading the hosts file: "address name [alias ...]" lines, "#" to the line's end a comment.
#include "gateway/proxies/dns_hosts_file.h"

#include <arpa/inet.h>

#include <cctype>
#include <fstream>
#include <sstream>

namespace proxies {
namespace {

// A hosts file larger than this is not one the service keeps in memory.
constexpr uintmax_t kHostsFileLimit = 4 * 1024 * 1024;

std::string WithoutFinalDot(const std::string& name) {
  if (!name.empty() && name.back() == '.') return name.substr(0, name.size() - 1);
  return name;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

HostsFile::HostsFile(std::filesystem::path path) : path_(std::move(path)) {}

HostsFile::Names HostsFile::Parse(const std::string& text) {
  Names names;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream fields(line);
    std::string address;
    std::string first;
    if (!(fields >> address >> first)) continue;
    in_addr v4{};
    in6_addr v6{};
    const bool is_v4 = inet_pton(AF_INET, address.c_str(), &v4) == 1;
    if (!is_v4 && inet_pton(AF_INET6, address.c_str(), &v6) != 1) continue;
    std::string name = first;
    do {
      HostsEntry& entry = names[Lower(WithoutFinalDot(name))];
      if (is_v4) {
        if (entry.v4.empty()) entry.official = first;
        entry.v4.push_back(v4);
      } else {
        entry.v6.push_back(v6);
      }
    } while (fields >> name);
  }
  return names;
}

void HostsFile::RefreshLocked() {
  std::error_code error;
  const auto stamp = std::filesystem::last_write_time(path_, error);
  const uintmax_t size = error ? 0 : std::filesystem::file_size(path_, error);
  if (error || size > kHostsFileLimit) {
    names_.clear();
    stamp_ = {};
    return;
  }
  if (stamp == stamp_ && size == size_) return;
  std::ifstream in(path_, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  names_ = Parse(all.str());
  stamp_ = stamp;
  size_ = size;
}

bool HostsFile::Find(const std::string& name, HostsEntry* entry) {
  std::lock_guard hold(lock_);
  RefreshLocked();
  auto it = names_.find(Lower(WithoutFinalDot(name)));
  if (it == names_.end()) return false;
  *entry = it->second;
  return true;
}

HostsFile& TheHostsFile() {
  static HostsFile file;
  return file;
}

}  // namespace proxies
