// Test support for the report tests: a private settings store and files directory, helpers
// that write values the way the client setup utility writes them, and report capture.
// One fixture per test; not thread-safe.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "diagnostics/report_writer.h"
#include "platform/registry.h"
#include "platform/snmp_agent.h"
#include "platform/testing/temp_store.h"

namespace diagnostics::testing {

class ReportTest : public ::testing::Test {
 public:
  // Runs writer on a memory report and returns what it wrote.
  static std::string Capture(const std::function<void(ReportWriter&)>& writer);
  // An agent over lo 127.0.0.1/8 and eth0 with 192.168.1.2/24 and 10.0.0.5/8.
  static platform::SnmpAgent SampleAgent();
  // The file's whole content ("" when missing).
  static std::string ReadFile(const std::string& path);

 protected:
  void SetUp() override;
  void TearDown() override;

  // Values are written below hive; keys are created.
  void SetString(platform::Hive hive, const std::string& key, const std::string& name,
                 const std::string& value);
  void SetDword(platform::Hive hive, const std::string& key, const std::string& name,
                uint32_t value);
  void SetBinary(platform::Hive hive, const std::string& key, const std::string& name,
                 const std::vector<uint8_t>& bytes);
  // Writes a file inside the test's directory; returns its path.
  std::string WriteFile(const std::string& name, const std::string& text);
  platform::testing::TempStore store_;
};

}  // namespace diagnostics::testing
