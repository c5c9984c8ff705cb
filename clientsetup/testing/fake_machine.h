// Test support: this process in private mount and network namespaces, where each test gets a
// fake /etc and a fake home mounted over the real paths (the code under test uses the real
// paths and never reaches the machine's own files), stand-in commands first on PATH, and a
// dummy interface 192.168.0.5/24 named "wfdesk0". Not thread-safe; one FakeMachine at a time.
#pragma once

#include <string>

namespace clientsetup::testing {

// Enters the namespaces once per process. "" when done, else why it cannot be done here.
[[nodiscard]] std::string EnterPrivateNamespaces();

class FakeMachine {
 public:
  // Builds the fake /etc (links to the real entries except those a test writes) and home,
  // and mounts them. ok() tells whether both mounts are in place and proven.
  FakeMachine();
  ~FakeMachine();
  FakeMachine(const FakeMachine&) = delete;
  FakeMachine& operator=(const FakeMachine&) = delete;

  [[nodiscard]] bool ok() const { return ok_; }
  [[nodiscard]] const std::string& home() const { return home_; }
  [[nodiscard]] std::string root() const { return root_; }
  // Writes a file (parents made) with mode; a path under /etc or the home as the code sees it.
  static void Write(const std::string& path, const std::string& text, unsigned mode = 0644);
  [[nodiscard]] static std::string Read(const std::string& path);
  // A stand-in command on PATH: a shell script body; "$LOG" is the file its calls go to.
  void AddCommand(const std::string& name, const std::string& script_body);
  [[nodiscard]] std::string CommandLog() const;

 private:
  std::string root_;
  std::string home_;
  std::string old_path_;
  bool etc_mounted_ = false;
  bool home_mounted_ = false;
  bool ok_ = false;
};

}  // namespace clientsetup::testing
