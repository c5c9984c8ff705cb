// Fixture of the report tests: environment, store writes, files and capture.
#include "diagnostics/report_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace diagnostics::testing {

void ReportTest::SetUp() {
  ::unsetenv("WAYFARER_WINVER");
  ::setenv("WAYFARER_WINDIR", (store_.dir() + "/windows").c_str(), 1);
  ::setenv("WAYFARER_HOSTS", (store_.dir() + "/hosts").c_str(), 1);
}

void ReportTest::TearDown() {
  ::unsetenv("WAYFARER_WINVER");
  ::unsetenv("WAYFARER_WINDIR");
  ::unsetenv("WAYFARER_HOSTS");
}

void ReportTest::SetString(platform::Hive hive, const std::string& key, const std::string& name,
                           const std::string& value) {
  platform::RegKey k;
  ASSERT_EQ(platform::RegCreateKey(hive, key, &k), 0);
  ASSERT_EQ(platform::RegSetString(k, name, value), 0);
}

void ReportTest::SetDword(platform::Hive hive, const std::string& key, const std::string& name,
                          uint32_t value) {
  platform::RegKey k;
  ASSERT_EQ(platform::RegCreateKey(hive, key, &k), 0);
  ASSERT_EQ(platform::RegSetDword(k, name, value), 0);
}

void ReportTest::SetBinary(platform::Hive hive, const std::string& key, const std::string& name,
                           const std::vector<uint8_t>& bytes) {
  platform::RegKey k;
  ASSERT_EQ(platform::RegCreateKey(hive, key, &k), 0);
  ASSERT_EQ(platform::RegSetValue(k, name, platform::kRegBinary, bytes.data(),
                                  static_cast<uint32_t>(bytes.size())),
            0);
}

std::string ReportTest::WriteFile(const std::string& name, const std::string& text) {
  std::string path = store_.dir() + "/" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

std::string ReportTest::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ReportTest::Capture(const std::function<void(ReportWriter&)>& writer) {
  char* data = nullptr;
  size_t size = 0;
  std::FILE* file = open_memstream(&data, &size);
  ReportWriter w(file);
  writer(w);
  std::fclose(file);
  std::string text(data, size);
  std::free(data);
  return text;
}

platform::SnmpAgent ReportTest::SampleAgent() {
  return platform::SnmpAgent([](std::vector<platform::InterfaceEntry>* out) {
    *out = {{"lo", 1, true, 0x7F000001, 0xFF000000},
            {"eth0", 2, true, 0xC0A80102, 0xFFFFFF00},
            {"eth0", 2, true, 0x0A000005, 0xFF000000}};
    return 0;
  });
}

}  // namespace diagnostics::testing
