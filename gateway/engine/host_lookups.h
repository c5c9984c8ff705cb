// Host-name lookups that many session threads may want at the same moment: the first thread
// that needs a name resolves it with no lock held, later ones wait for that answer instead of
// starting their own, and a failure is remembered for kLookupFailureMemory so that a name
// server that never answers costs one wait per name and minute. Thread-safe: lock_ guards the
// tables and is never held while resolving.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace engine {

inline constexpr std::chrono::seconds kLookupFailureMemory{60};
// A thread waiting for another thread's lookup gives up after this long (the lookup itself may
// wait for a dial-up connection, which is bounded by kDialWaitLimitMs).
inline constexpr std::chrono::seconds kLookupWaitLimit{6 * 60};

class HostLookups {
 public:
  using Clock = std::chrono::steady_clock;
  // name -> dotted text; 0 or -1 (AddressTextFor's contract).
  using Resolver = std::function<int(const std::string& name, std::string* dotted)>;

  // now: the clock failures are aged by (tests pass their own).
  explicit HostLookups(std::function<Clock::time_point()> now = Clock::now);

  // 0 with *dotted, or -1 when the lookup failed now, failed less than kLookupFailureMemory ago,
  // or another thread's lookup of the same name did not end within kLookupWaitLimit. Names are
  // compared without regard to case. resolve runs on the calling thread, with no lock held.
  [[nodiscard]] int Resolve(const std::string& name, std::string* dotted, const Resolver& resolve);

 private:
  struct Pending {
    bool done = false;
    int result = -1;
    std::string dotted;
  };

  std::function<Clock::time_point()> now_;
  std::mutex lock_;
  std::condition_variable finished_;                         // signalled when a lookup ends
  std::map<std::string, std::shared_ptr<Pending>> pending_;  // guarded by lock_
  std::map<std::string, Clock::time_point> failed_until_;    // guarded by lock_
};

}  // namespace engine
