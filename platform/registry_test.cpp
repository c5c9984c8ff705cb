// Tests of the settings store: case rules, value types, error codes, enumeration, deletion,
// the database file's mode, several threads and processes sharing one store, and transactions
// of several calls.
// Each test gets its own database file in a fresh temporary directory.
#include "platform/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/registry_store.h"

namespace platform {
namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "wayfarer-reg-XXXXXX");
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    db_ = dir_ + "/state/registry.db";
    UseStore(db_);
  }
  void TearDown() override {
    UseStore(dir_ + "/closed.db");  // closes the connection; never opened
    std::filesystem::remove_all(dir_);
  }
  RegKey Create(std::string_view path) {
    RegKey key;
    EXPECT_EQ(RegCreateKey(Hive::kLocalMachine, path, &key), kErrorSuccess) << path;
    return key;
  }

  std::string dir_;
  std::string db_;
};

TEST_F(RegistryTest, KeysIgnoreCaseAndKeepFirstSpelling) {
  RegKey created = Create("Software\\Foo");
  RegKey opened;
  ASSERT_EQ(RegOpenKey(Hive::kLocalMachine, "SOFTWARE\\foo", &opened), kErrorSuccess);
  EXPECT_EQ(opened.id(), created.id());
  bool is_new = true;
  RegKey again;
  ASSERT_EQ(RegCreateKey(Hive::kLocalMachine, "software\\FOO", &again, &is_new), kErrorSuccess);
  EXPECT_FALSE(is_new);
  EXPECT_EQ(again.id(), created.id());
  Hive hive = Hive::kClassesRoot;
  std::string path;
  ASSERT_EQ(RegKeyPath(opened, &hive, &path), kErrorSuccess);
  EXPECT_EQ(hive, Hive::kLocalMachine);
  EXPECT_EQ(path, "Software\\Foo");
  // The same path in another hive is another key.
  RegKey other;
  EXPECT_EQ(RegOpenKey(Hive::kCurrentUser, "Software\\Foo", &other), kErrorFileNotFound);
}

TEST_F(RegistryTest, ValueNamesIgnoreCaseAndKeepFirstSpelling) {
  RegKey key = Create("Wayfarer Computer Products Ltd.\\Gateway 2.0");
  ASSERT_EQ(RegSetDword(key, "Port", 1), kErrorSuccess);
  ASSERT_EQ(RegSetDword(key, "PORT", 2), kErrorSuccess);
  uint32_t port = 0;
  ASSERT_EQ(RegQueryDword(key, "port", &port), kErrorSuccess);
  EXPECT_EQ(port, 2u);
  std::string name;
  ASSERT_EQ(RegEnumValue(key, 0, &name, nullptr, nullptr), kErrorSuccess);
  EXPECT_EQ(name, "Port");
  uint32_t subkeys = 9, values = 9;
  ASSERT_EQ(RegQueryInfoKey(key, &subkeys, &values), kErrorSuccess);
  EXPECT_EQ(subkeys, 0u);
  EXPECT_EQ(values, 1u);
}

TEST_F(RegistryTest, EachTypeRoundTrips) {
  RegKey key = Create("Types");
  ASSERT_EQ(RegSetString(key, "", "default text"), kErrorSuccess);
  ASSERT_EQ(RegSetDword(key, "Dword", 0xdeadbeef), kErrorSuccess);
  const std::vector<uint8_t> binary = {0, 1, 0, 255, 0};
  ASSERT_EQ(RegSetValue(key, "Binary", kRegBinary, binary.data(), binary.size()), kErrorSuccess);
  ASSERT_EQ(RegSetValue(key, "Empty", kRegBinary, nullptr, 0), kErrorSuccess);

  std::string text;
  ASSERT_EQ(RegQueryString(key, "", &text), kErrorSuccess);
  EXPECT_EQ(text, "default text");
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  ASSERT_EQ(RegQueryBytes(key, "Dword", &type, &bytes), kErrorSuccess);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xef, 0xbe, 0xad, 0xde}));  // little-endian
  ASSERT_EQ(RegQueryBytes(key, "Binary", &type, &bytes), kErrorSuccess);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(bytes, binary);
  ASSERT_EQ(RegQueryBytes(key, "Empty", &type, &bytes), kErrorSuccess);
  EXPECT_TRUE(bytes.empty());
}

TEST_F(RegistryTest, StringKeepsTerminatorAndIsCutByWidth) {
  RegKey key = Create("Strings");
  ASSERT_EQ(RegSetString(key, "Text", "abcdef"), kErrorSuccess);
  uint32_t type = 0;
  std::vector<uint8_t> raw;
  ASSERT_EQ(RegQueryBytes(key, "Text", &type, &raw), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  ASSERT_EQ(raw.size(), 7u);
  EXPECT_EQ(raw.back(), 0);

  const struct {
    size_t width;
    const char* expected;
  } cases[] = {{0, "abcdef"}, {1, ""}, {2, "a"}, {6, "abcde"}, {7, "abcdef"}, {100, "abcdef"}};
  for (const auto& c : cases) {
    std::string text = "junk";
    ASSERT_EQ(RegQueryString(key, "Text", &text, c.width), kErrorSuccess);
    EXPECT_EQ(text, c.expected) << "width " << c.width;
  }
}

TEST_F(RegistryTest, QueryValueReportsSizeAndMoreData) {
  RegKey key = Create("Sizes");
  ASSERT_EQ(RegSetString(key, "Name", "hello"), kErrorSuccess);
  uint32_t type = 0, size = 0;
  ASSERT_EQ(RegQueryValue(key, "Name", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 6u);

  char buffer[8] = "XXXXXXX";
  size = 5;
  EXPECT_EQ(RegQueryValue(key, "Name", &type, buffer, &size), kErrorMoreData);
  EXPECT_EQ(size, 6u);
  EXPECT_STREQ(buffer, "XXXXXXX");  // untouched
  ASSERT_EQ(RegQueryValue(key, "Name", &type, buffer, &size), kErrorSuccess);
  EXPECT_STREQ(buffer, "hello");
  EXPECT_EQ(RegQueryValue(key, "Name", &type, buffer, nullptr), kErrorInvalidParameter);
}

TEST_F(RegistryTest, TypedReadsRefuseOtherTypes) {
  RegKey key = Create("Mixed");
  ASSERT_EQ(RegSetString(key, "Text", "1"), kErrorSuccess);
  ASSERT_EQ(RegSetDword(key, "Number", 1), kErrorSuccess);
  const uint8_t four[4] = {1, 0, 0, 0};
  ASSERT_EQ(RegSetValue(key, "FourBytes", kRegBinary, four, 4), kErrorSuccess);
  ASSERT_EQ(RegSetValue(key, "ShortDword", kRegDword, four, 3), kErrorSuccess);
  uint32_t number = 0;
  std::string text;
  EXPECT_EQ(RegQueryDword(key, "Text", &number), kErrorInvalidParameter);
  EXPECT_EQ(RegQueryDword(key, "FourBytes", &number), kErrorInvalidParameter);
  EXPECT_EQ(RegQueryDword(key, "ShortDword", &number), kErrorInvalidParameter);
  EXPECT_EQ(RegQueryString(key, "Number", &text), kErrorInvalidParameter);
  EXPECT_EQ(RegQueryDword(key, "Missing", &number), kErrorFileNotFound);
  EXPECT_EQ(RegQueryString(key, "Missing", &text), kErrorFileNotFound);
}

TEST_F(RegistryTest, MissingKeysValuesAndBadHandles) {
  RegKey key = Create("Present");
  RegKey out;
  uint32_t type = 0, size = 0;
  std::string name;
  EXPECT_EQ(RegOpenKey(Hive::kLocalMachine, "Present\\Absent", &out), kErrorFileNotFound);
  EXPECT_EQ(RegQueryValue(key, "Absent", &type, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(RegDeleteValue(key, "Absent"), kErrorFileNotFound);
  EXPECT_EQ(RegDeleteKey(key, "Absent"), kErrorFileNotFound);

  const RegKey invalid;
  EXPECT_EQ(RegOpenKey(invalid, "", &out), kErrorInvalidHandle);
  EXPECT_EQ(RegSetDword(invalid, "X", 1), kErrorInvalidHandle);
  EXPECT_EQ(RegEnumKey(invalid, 0, &name), kErrorInvalidHandle);
  EXPECT_EQ(RegCloseKey(invalid), kErrorInvalidHandle);
  EXPECT_EQ(RegCloseKey(key), kErrorSuccess);
}

TEST_F(RegistryTest, PathSpellings) {
  RegKey key = Create("A\\B");
  RegKey out;
  EXPECT_EQ(RegOpenKey(Hive::kLocalMachine, "\\A\\B", &out), kErrorSuccess);
  EXPECT_EQ(out.id(), key.id());
  EXPECT_EQ(RegOpenKey(Hive::kLocalMachine, "A\\B\\", &out), kErrorSuccess);
  EXPECT_EQ(out.id(), key.id());
  EXPECT_EQ(RegOpenKey(key, "", &out), kErrorSuccess);
  EXPECT_EQ(out.id(), key.id());
  EXPECT_EQ(RegCreateKey(Hive::kLocalMachine, "A\\\\C", &out), kErrorBadKey);
  EXPECT_EQ(RegCreateKey(Hive::kLocalMachine, std::string(256, 'n'), &out), kErrorBadKey);
  EXPECT_EQ(RegOpenKey(Hive::kLocalMachine, "A\\C", &out), kErrorFileNotFound);
}

TEST_F(RegistryTest, EnumerationIgnoresCaseAndEndsWithNoMoreItems) {
  RegKey key = Create("List");
  for (const char* name : {"beta", "Alpha", "gamma", "Delta"}) {
    RegKey sub;
    ASSERT_EQ(RegCreateKey(key, name, &sub), kErrorSuccess);
    ASSERT_EQ(RegSetDword(key, name, 0), kErrorSuccess);
  }
  const std::vector<std::string> expected = {"Alpha", "beta", "Delta", "gamma"};
  std::vector<std::string> keys, values;
  std::string name;
  for (uint32_t i = 0; RegEnumKey(key, i, &name) == kErrorSuccess; ++i) keys.push_back(name);
  for (uint32_t i = 0; RegEnumValue(key, i, &name, nullptr, nullptr) == kErrorSuccess; ++i) {
    values.push_back(name);
  }
  EXPECT_EQ(keys, expected);
  EXPECT_EQ(values, expected);
  EXPECT_EQ(RegEnumKey(key, 4, &name), kErrorNoMoreItems);
  EXPECT_EQ(RegEnumValue(key, 4, &name, nullptr, nullptr), kErrorNoMoreItems);
  uint32_t subkeys = 0, count = 0;
  ASSERT_EQ(RegQueryInfoKey(key, &subkeys, &count), kErrorSuccess);
  EXPECT_EQ(subkeys, 4u);
  EXPECT_EQ(count, 4u);
}

TEST_F(RegistryTest, DeleteKeyRemovesWholeSubtree) {
  RegKey deep = Create("Top\\Mid\\Leaf");
  ASSERT_EQ(RegSetDword(deep, "V", 1), kErrorSuccess);
  RegKey top = Create("Top");
  ASSERT_EQ(RegSetDword(top, "V", 1), kErrorSuccess);
  Create("Keep");
  ASSERT_EQ(RegDeleteKey(RegKey::Root(Hive::kLocalMachine), "top"), kErrorSuccess);

  RegKey out;
  EXPECT_EQ(RegOpenKey(Hive::kLocalMachine, "Top\\Mid\\Leaf", &out), kErrorFileNotFound);
  EXPECT_EQ(RegOpenKey(Hive::kLocalMachine, "Keep", &out), kErrorSuccess);
  // A key made again under the old name starts empty.
  RegKey fresh = Create("Top\\Mid\\Leaf");
  uint32_t subkeys = 9, values = 9;
  ASSERT_EQ(RegQueryInfoKey(fresh, &subkeys, &values), kErrorSuccess);
  EXPECT_EQ(values, 0u);
  ASSERT_EQ(RegQueryInfoKey(Create("Top"), &subkeys, &values), kErrorSuccess);
  EXPECT_EQ(values, 0u);
}

TEST_F(RegistryTest, HandleToDeletedKeyReportsKeyDeleted) {
  RegKey key = Create("Gone");
  ASSERT_EQ(RegDeleteKey(key, ""), kErrorSuccess);
  Create("Gone");  // same name again: the old handle must not reach the new key
  RegKey out;
  std::string text;
  Hive hive;
  EXPECT_EQ(RegSetDword(key, "V", 1), kErrorKeyDeleted);
  EXPECT_EQ(RegQueryString(key, "V", &text), kErrorKeyDeleted);
  EXPECT_EQ(RegCreateKey(key, "Sub", &out), kErrorKeyDeleted);
  EXPECT_EQ(RegOpenKey(key, "", &out), kErrorKeyDeleted);
  EXPECT_EQ(RegEnumKey(key, 0, &text), kErrorKeyDeleted);
  EXPECT_EQ(RegDeleteValue(key, "V"), kErrorKeyDeleted);
  EXPECT_EQ(RegKeyPath(key, &hive, &text), kErrorKeyDeleted);
}

TEST_F(RegistryTest, HiveRootsCannotBeDeleted) {
  for (Hive hive : {Hive::kLocalMachine, Hive::kCurrentUser, Hive::kClassesRoot}) {
    EXPECT_EQ(RegDeleteKey(RegKey::Root(hive), ""), kErrorAccessDenied);
    EXPECT_EQ(RegDeleteKey(RegKey::Root(hive), "\\"), kErrorAccessDenied);
  }
}

TEST_F(RegistryTest, FileIsPrivateWhateverTheUmask) {
  mode_t old = umask(0);
  Create("X");
  umask(old);
  struct stat file {};
  ASSERT_EQ(stat(db_.c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  struct stat dir {};
  ASSERT_EQ(stat((dir_ + "/state").c_str(), &dir), 0);
  EXPECT_EQ(dir.st_mode & 0777, 0700u);
  EXPECT_EQ(StorePath(), db_);
}

TEST_F(RegistryTest, UnopenableStoreFailsEveryCallOnce) {
  std::ofstream(dir_ + "/file") << "not a directory";
  UseStore(dir_ + "/file/registry.db");  // a regular file where a directory should be
  testing::internal::CaptureStderr();
  RegKey out;
  EXPECT_EQ(RegCreateKey(Hive::kLocalMachine, "X", &out), kErrorAccessDenied);
  EXPECT_EQ(RegOpenKey(Hive::kLocalMachine, "X", &out), kErrorAccessDenied);
  EXPECT_EQ(RegSetDword(RegKey::Root(Hive::kCurrentUser), "V", 1), kErrorAccessDenied);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST(RegistryPath, DefaultFollowsEnvironment) {
  const char* saved = std::getenv("WAYFARER_REGISTRY");
  std::string saved_value = saved ? saved : "";
  setenv("WAYFARER_REGISTRY", "chosen.db", 1);
  EXPECT_EQ(DefaultStorePath(), "chosen.db");
  unsetenv("WAYFARER_REGISTRY");
  setenv("XDG_STATE_HOME", "state-home", 1);
  EXPECT_EQ(DefaultStorePath(), geteuid() == 0 ? std::string("/var/lib/wayfarer/registry.db")
                                               : std::string("state-home/wayfarer/registry.db"));
  unsetenv("XDG_STATE_HOME");
  if (saved) setenv("WAYFARER_REGISTRY", saved_value.c_str(), 1);
}

// Writes count values named prefix+i into HKLM\Shared; the exit status is the failures.
[[noreturn]] void WriterChild(const std::string& db, const std::string& prefix, int count) {
  UseStore(db);
  RegKey key;
  int failures = RegCreateKey(Hive::kLocalMachine, "Shared", &key) == kErrorSuccess ? 0 : 1;
  for (int i = 0; i < count && failures == 0; ++i) {
    if (RegSetDword(key, prefix + std::to_string(i), static_cast<uint32_t>(i)) != 0) ++failures;
  }
  _exit(failures);
}

TEST_F(RegistryTest, TwoProcessesWriteTheSameKey) {
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) WriterChild(db_, c == 0 ? "a" : "b", 200);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  RegKey key;
  ASSERT_EQ(RegOpenKey(Hive::kLocalMachine, "Shared", &key), kErrorSuccess);
  uint32_t values = 0;
  ASSERT_EQ(RegQueryInfoKey(key, nullptr, &values), kErrorSuccess);
  EXPECT_EQ(values, 400u);
  uint32_t number = 0;
  ASSERT_EQ(RegQueryDword(key, "b199", &number), kErrorSuccess);
  EXPECT_EQ(number, 199u);
}

std::vector<uint8_t> Pattern(int i) { return std::vector<uint8_t>(3000, static_cast<uint8_t>(i)); }

TEST_F(RegistryTest, KilledWriterLeavesReadableStore) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    UseStore(db_);
    RegKey key;
    if (RegCreateKey(Hive::kLocalMachine, "Crash", &key) != kErrorSuccess) _exit(1);
    for (int i = 0;; ++i) {
      std::vector<uint8_t> data = Pattern(i);
      if (RegSetValue(key, "v" + std::to_string(i % 500), kRegBinary, data.data(),
                      static_cast<uint32_t>(data.size())) != kErrorSuccess) {
        _exit(1);
      }
      if (i == 50 && write(ready[1], "x", 1) != 1) _exit(1);
    }
  }
  close(ready[1]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));

  RegKey key;
  ASSERT_EQ(RegOpenKey(Hive::kLocalMachine, "Crash", &key), kErrorSuccess);
  std::string name;
  std::vector<uint8_t> data;
  uint32_t count = 0;
  for (; RegEnumValue(key, count, &name, nullptr, &data) == kErrorSuccess; ++count) {
    ASSERT_EQ(data.size(), 3000u) << name;
    EXPECT_EQ(std::count(data.begin(), data.end(), data[0]), 3000) << name;
  }
  EXPECT_GE(count, 50u);
  EXPECT_EQ(RegSetDword(key, "after", 1), kErrorSuccess);
}

// Writes pairs of values in one transaction each, then is killed while holding the last one
// uncommitted: the parent must see whole pairs only, and never the last one.
TEST_F(RegistryTest, TransactionOfSeveralCallsIsWholeOrAbsent) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    UseStore(db_);
    RegKey key;
    if (RegCreateKey(Hive::kLocalMachine, "Pairs", &key) != kErrorSuccess) _exit(1);
    for (uint32_t i = 0; i < 20; ++i) {
      StoreTransaction pair;
      if (RegSetDword(key, "first", i) != kErrorSuccess) _exit(1);
      if (RegSetDword(key, "second", i) != kErrorSuccess) _exit(1);
      if (!pair.Commit()) _exit(1);
    }
    StoreTransaction unfinished;
    if (RegSetDword(key, "first", 99) != kErrorSuccess) _exit(1);
    if (write(ready[1], "x", 1) != 1) _exit(1);
    pause();  // killed here, the second value never written
  }
  close(ready[1]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);

  RegKey key;
  ASSERT_EQ(RegOpenKey(Hive::kLocalMachine, "Pairs", &key), kErrorSuccess);
  uint32_t first = 0;
  uint32_t second = 0;
  ASSERT_EQ(RegQueryDword(key, "first", &first), kErrorSuccess);
  ASSERT_EQ(RegQueryDword(key, "second", &second), kErrorSuccess);
  EXPECT_EQ(first, 19u);
  EXPECT_EQ(second, 19u);
}

TEST_F(RegistryTest, TransactionDroppedOrNestedKeepsOnlyWhatWasCommitted) {
  RegKey key = Create("Batch");
  {
    StoreTransaction dropped;
    ASSERT_EQ(RegSetDword(key, "gone", 1), kErrorSuccess);
    uint32_t seen = 0;  // the transaction's own thread reads its changes
    ASSERT_EQ(RegQueryDword(key, "gone", &seen), kErrorSuccess);
    EXPECT_EQ(seen, 1u);
  }
  uint32_t value = 0;
  EXPECT_EQ(RegQueryDword(key, "gone", &value), kErrorFileNotFound);

  StoreTransaction outer;
  ASSERT_EQ(RegSetDword(key, "kept", 1), kErrorSuccess);
  {
    StoreTransaction inner_dropped;
    ASSERT_EQ(RegSetDword(key, "inner", 1), kErrorSuccess);
  }
  {
    StoreTransaction inner_kept;
    ASSERT_EQ(RegSetDword(key, "inner2", 2), kErrorSuccess);
    EXPECT_TRUE(inner_kept.Commit());
  }
  EXPECT_TRUE(outer.Commit());
  EXPECT_EQ(RegQueryDword(key, "kept", &value), kErrorSuccess);
  EXPECT_EQ(RegQueryDword(key, "inner", &value), kErrorFileNotFound);
  EXPECT_EQ(RegQueryDword(key, "inner2", &value), kErrorSuccess);
  EXPECT_EQ(value, 2u);
}

}  // namespace
}  // namespace platform
