// The report's line formats and the registry error table.
#include "diagnostics/report_writer.h"

#include <gtest/gtest.h>

#include "diagnostics/report_test_support.h"

namespace diagnostics {
namespace {

using testing::ReportTest;

TEST(ReportWriter, FieldLabelsArePaddedToTwentyColumnsAndNeverCut) {
  EXPECT_EQ(ReportTest::Capture([](ReportWriter& w) {
              w.WriteField("Http Proxy", "gate");
              w.WriteField("ABCDEFGHIJKLMNOPQRST", "x");
              w.WriteField("ABCDEFGHIJKLMNOPQRSTUV", "");
              w.WriteNumberField("Socks Proxy Port", 4294967295u);
            }),
            "Http Proxy          = gate\n"
            "ABCDEFGHIJKLMNOPQRST= x\n"
            "ABCDEFGHIJKLMNOPQRSTUV= \n"
            "Socks Proxy Port    = 4294967295\n");
}

TEST(ReportWriter, ConnectionTypes) {
  const std::pair<int64_t, const char*> table[] = {
      {0, "Direct Connection to the Internet"},
      {1, "Manual Proxy Configuration"},
      {2, "Automatic Configuration"},
      {3, "Unknown"},
      {-1, "Unknown"},
      {4294967296LL, "Unknown"},
  };
  for (const auto& [type, text] : table) {
    EXPECT_EQ(ReportTest::Capture([&](ReportWriter& w) { w.WriteConnectionType(type); }),
              std::string("Connection Type     = ") + text + "\n")
        << type;
  }
}

TEST(ReportWriter, RegistryErrorMessagesByCode) {
  const std::pair<long, const char*> table[] = {
      {2, "E 109 : Registry Key is Invalid"},
      {1009, "E 109 : Registry Key is Invalid"},
      {5, "E 114 : Could not obtain permission to read registry."},
      {234, "E 115 : The data read from the registry was of unexpected              length"},
      {1010, "E 106 : Could not open Key in registry for reading"},
      {1011, "E 106 : Could not open Key in registry for reading"},
      {1012, "E 105 : Could not read Value in registry"},
      {1015, "E 110 : Registry is Corrupt"},
      {1016, "E 111 : Reggistry Input/Output failed"},
      {0, "E 112 : Unown Error reading registry"},
      {87, "E 112 : Unown Error reading registry"},
  };
  for (const auto& [code, message] : table) {
    EXPECT_EQ(ReportTest::Capture([&](ReportWriter& w) { w.WriteRegistryError(code); }),
              std::string(message) + "\nError Code = " + std::to_string(code) + "\n");
  }
}

}  // namespace
}  // namespace diagnostics
