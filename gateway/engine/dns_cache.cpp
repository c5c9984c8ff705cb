// Values are kept in their stored form: one byte L = length of the canonical name + 1, the
// lower-cased canonical name, then the dotted address.
#include "gateway/engine/dns_cache.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <unordered_map>

namespace engine {
namespace {

// The length byte holds at most 255, so a canonical name keeps at most 254 characters.
constexpr size_t kCanonicalLimit = 254;

std::mutex g_lock;
std::unordered_map<std::string, std::string> g_cache;  // guarded by g_lock

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

bool DnsCacheLookup(const std::string& lower_name, std::string* address, std::string* canonical) {
  std::lock_guard lock(g_lock);
  auto it = g_cache.find(lower_name);
  if (it == g_cache.end() || it->second.empty()) return false;
  const std::string& value = it->second;
  size_t l = static_cast<unsigned char>(value[0]);
  if (l == 0 || l > value.size()) return false;
  *canonical = value.substr(1, l - 1);
  *address = value.substr(l);
  return true;
}

void DnsCacheStore(const std::string& lower_name, const std::string& canonical,
                   const std::string& address) {
  std::string name = Lower(canonical.substr(0, kCanonicalLimit));
  std::string value(1, static_cast<char>(name.size() + 1));
  value += name;
  value += address;
  std::lock_guard lock(g_lock);
  if (g_cache.size() + 2 > kDnsCacheLimit) g_cache.clear();
  g_cache[lower_name] = value;
  if (name != lower_name) g_cache[name] = value;
}

void DnsCacheClear() {
  std::lock_guard lock(g_lock);
  g_cache.clear();
}

}  // namespace engine
