// Test helper: a private temporary directory with a fresh settings store selected for the
// process; removes both when destroyed. One per test; not thread-safe.
#pragma once

#include <string>

namespace platform::testing {

class TempStore {
 public:
  TempStore();
  ~TempStore();
  TempStore(const TempStore&) = delete;
  TempStore& operator=(const TempStore&) = delete;

  [[nodiscard]] const std::string& dir() const { return dir_; }
  [[nodiscard]] const std::string& path() const { return path_; }

 private:
  std::string dir_;
  std::string path_;
};

}  // namespace platform::testing
