// The machine's hosts file as the DNS service reads it, so names listed there are answered at
// once, without a session thread and without a lookup that could hang or dial. The gateway's
// resolver consults the same file first, so the answers are the ones a lookup would give.
// Thread-safe: the parsed copy is guarded by lock_ and read again when the file changes.
#pragma once

#include <netinet/in.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace proxies {

// What the hosts file says about one name.
struct HostsEntry {
  std::string official;      // first name of the first line naming it with an IPv4 address
  std::vector<in_addr> v4;   // every IPv4 address, in file order
  std::vector<in6_addr> v6;  // every IPv6 address, in file order
};

class HostsFile {
 public:
  explicit HostsFile(std::filesystem::path path = "/etc/hosts");
  // True when name (any letter case, a final dot allowed) is on a line of the file.
  bool Find(const std::string& name, HostsEntry* entry);
  // Every name of a hosts file's text, lower-cased, with what the file says about it.
  using Names = std::unordered_map<std::string, HostsEntry>;
  [[nodiscard]] static Names Parse(const std::string& text);

 private:
  void RefreshLocked();

  std::filesystem::path path_;
  std::mutex lock_;
  Names names_;                              // guarded by lock_
  std::filesystem::file_time_type stamp_{};  // guarded by lock_
  uintmax_t size_ = 0;                       // guarded by lock_
};

// The process-wide reader of /etc/hosts.
HostsFile& TheHostsFile();

}  // namespace proxies
