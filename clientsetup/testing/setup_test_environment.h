// Test support: a private settings store, Windows directory, hosts file and current directory
// (where "TempFile" goes) for one test; restores the process's environment afterwards.
// One per test; not thread-safe.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/testing/temp_store.h"

namespace clientsetup::testing {

class SetupTestEnvironment {
 public:
  SetupTestEnvironment() {
    root_ = store_.dir();
    std::filesystem::create_directories(windows_dir());
    std::filesystem::create_directories(work_dir());
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(work_dir());
    setenv("WAYFARER_WINDIR", windows_dir().c_str(), 1);
    setenv("WAYFARER_HOSTS", hosts_path().c_str(), 1);
    unsetenv("WAYFARER_WINVER");
  }
  ~SetupTestEnvironment() {
    std::filesystem::current_path(old_cwd_);
    unsetenv("WAYFARER_WINDIR");
    unsetenv("WAYFARER_HOSTS");
    unsetenv("WAYFARER_WINVER");
  }
  SetupTestEnvironment(const SetupTestEnvironment&) = delete;
  SetupTestEnvironment& operator=(const SetupTestEnvironment&) = delete;

  [[nodiscard]] std::string root() const { return root_; }
  [[nodiscard]] std::string windows_dir() const { return root_ + "/windows"; }
  [[nodiscard]] std::string work_dir() const { return root_ + "/cwd"; }
  [[nodiscard]] std::string hosts_path() const { return root_ + "/hosts"; }
  [[nodiscard]] std::string temp_file() const { return work_dir() + "/TempFile"; }

  static void Write(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  platform::testing::TempStore store_;
  std::string root_;
  std::filesystem::path old_cwd_;
};

}  // namespace clientsetup::testing
