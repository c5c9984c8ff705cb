// One lookup per name at a time, and a short memory of failures.
#include "gateway/engine/host_lookups.h"

#include <algorithm>
#include <cctype>

namespace engine {
namespace {

// Failures remembered at most; names come from the administrator's rules and mappings, but a
// bound keeps the table small whatever they hold.
constexpr size_t kFailureLimit = 4096;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

HostLookups::HostLookups(std::function<Clock::time_point()> now) : now_(std::move(now)) {}

int HostLookups::Resolve(const std::string& name, std::string* dotted, const Resolver& resolve) {
  const std::string key = Lower(name);
  std::shared_ptr<Pending> mine;
  {
    std::unique_lock hold(lock_);
    if (auto failed = failed_until_.find(key); failed != failed_until_.end()) {
      if (now_() < failed->second) return -1;
      failed_until_.erase(failed);
    }
    if (auto it = pending_.find(key); it != pending_.end()) {
      std::shared_ptr<Pending> theirs = it->second;
      if (!finished_.wait_for(hold, kLookupWaitLimit, [&] { return theirs->done; })) return -1;
      if (theirs->result == 0) *dotted = theirs->dotted;
      return theirs->result;
    }
    mine = std::make_shared<Pending>();
    pending_[key] = mine;
  }
  std::string found;
  const int result = resolve(name, &found) == 0 && !found.empty() ? 0 : -1;
  {
    std::lock_guard hold(lock_);
    mine->done = true;
    mine->result = result;
    mine->dotted = found;
    pending_.erase(key);
    if (result != 0) {
      if (failed_until_.size() >= kFailureLimit) failed_until_.clear();
      failed_until_[key] = now_() + kLookupFailureMemory;
    }
  }
  finished_.notify_all();
  if (result == 0) *dotted = found;
  return result;
}

}  // namespace engine
