// Taking on the store owner's identity.
#include "tools/store_owner.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace regtool {

bool BecomeStoreOwner(const std::string& store_path, std::string* error) {
  if (geteuid() != 0) return true;
  struct stat info {};
  if (stat(store_path.c_str(), &info) != 0) {
    const size_t slash = store_path.rfind('/');
    const std::string directory =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : store_path.substr(0, slash));
    if (stat(directory.c_str(), &info) != 0) return true;  // the store's own error follows
  }
  if (info.st_uid == 0) return true;
  if (setgroups(0, nullptr) != 0 || setgid(info.st_gid) != 0 || setuid(info.st_uid) != 0) {
    *error = std::string("cannot act as the owner of ") + store_path + ": " + strerror(errno);
    return false;
  }
  return true;
}

}  // namespace regtool
