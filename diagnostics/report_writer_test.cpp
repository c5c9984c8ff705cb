// The report's field format: labels padded to twenty columns, never cut.
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

}  // namespace
}  // namespace diagnostics
