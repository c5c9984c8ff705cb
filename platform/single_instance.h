// One running gateway per settings store. The first instance holds a lock on a file beside
// the store and receives requests on a local datagram channel named after the store; a
// second start finds the lock taken, asks the first to show its console, and ends without
// touching any network socket. The object is owned by the program's main thread.
#pragma once

#include <string>

namespace platform {

inline constexpr char kShowConsoleRequest[] = "show";
// Asks the running gateway to re-read its settings from the store.
inline constexpr char kReloadRequest[] = "reload";

class SingleInstance {
 public:
  SingleInstance() = default;
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Takes the instance lock of store_path. False when another live process holds it.
  [[nodiscard]] bool Acquire(const std::string& store_path);
  // The datagram socket on which requests arrive (-1 before Acquire succeeded).
  [[nodiscard]] int channel() const { return channel_; }
  // Reads one request from the channel into *request; false when none is waiting.
  bool ReadRequest(std::string* request);
  // Sends request to the instance that holds the lock of store_path. True when delivered.
  static bool SignalRunning(const std::string& store_path, const std::string& request);

 private:
  int lock_fd_ = -1;
  int channel_ = -1;
};

}  // namespace platform
