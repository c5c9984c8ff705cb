// Forming cache names and the paths they stand for.
#include "gateway/web/cache_names.h"

#include <cctype>

namespace web {
namespace {

// One component of a path: never empty, "." or "..", never holding a separator.
bool SafeComponent(const std::string& part) {
  if (part.empty() || part == "." || part == "..") return false;
  for (char c : part) {
    if (c == '/' || c == '\\' || c == '\0') return false;
  }
  return true;
}

// Appends text with each byte that has a meaning in names, or that a file name cannot
// hold, written as "%XX"; the byte `as_tilde` becomes "~" instead. Since "%" and "~" are
// themselves escaped, different texts always give different names.
void AppendEscaped(const std::string& text, char as_tilde, std::string* out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (c == as_tilde) {
      *out += '~';
    } else if (c == '%' || c == '~' || c == '/' || c == '\\' || c == ':' || byte < 0x20 ||
               byte == 0x7F) {
      *out += '%';
      *out += kHex[byte >> 4];
      *out += kHex[byte & 0x0F];
    } else {
      *out += c;
    }
  }
}

}  // namespace

std::string CacheName(const std::string& host_text, const std::string& url) {
  std::string host = host_text;
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string name;
  AppendEscaped(host, ':', &name);
  name += '\\';
  AppendEscaped(url, '/', &name);
  return name;
}

int CachePathsFor(const std::string& location, const std::string& name, CachePaths* out) {
  if (location.empty()) return -1;
  size_t slash = name.find('\\');
  if (slash == std::string::npos) return -1;
  std::string host = name.substr(0, slash);
  std::string file = name.substr(slash + 1);
  if (!SafeComponent(host) || !SafeComponent(file)) return -1;
  // The name is appended to the location as the stored settings expect; the length rule
  // counts it with its backslash, the disk path has "/" in its place.
  if (location.size() + name.size() > kMaxCachePath) return -1;
  out->host_dir = location + host;
  out->full_path = out->host_dir + "/" + file;
  return 0;
}

}  // namespace web
