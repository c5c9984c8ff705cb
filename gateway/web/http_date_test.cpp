// Dates as the cache reads and writes them: the accepted forms, the refused ones, UTC.
#include "gateway/web/http_date.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "gateway/web/conditional_get.h"

namespace web {
namespace {

constexpr int64_t k1Dec1994At16 = 786297600;  // Thu, 01 Dec 1994 16:00:00 GMT

int64_t Parse(const char* header_line) {
  std::string date;
  int64_t seconds = -1;
  if (ExtractDateValue(header_line, &date) != 0 || !ParseHttpDate(date, &seconds)) return -1;
  return seconds;
}

TEST(HttpDate, AcceptedFormsReadAsGreenwichTime) {
  struct Case {
    const char* line;
    int64_t seconds;
  } cases[] = {
      {"last-modified: thu, 01 dec 1994 16:00:00 gmt\r\n", k1Dec1994At16},
      {"last-modified: thursday, 01-dec-94 16:00:00 gmt\r\n", k1Dec1994At16},
      {"expires:  thu, 01 dec 1994 16:00:00 gmt\r\n", k1Dec1994At16},  // two blanks
      {"expires: thu, 1 dec 1994  16:00:00 gmt\r\n", k1Dec1994At16},   // the old IMS text
      {"expires: sun, 06 nov 1994 08:49:37 gmt", 784111777},
      {"expires: thu, 01 jan 1970 00:00:00 gmt\r\n", 0},
      {"expires: mon, 01 jan 2040 00:00:00 gmt\r\n", 2208988800},  // past 2038
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.line), c.seconds) << c.line;
}

TEST(HttpDate, ReadingIgnoresTheLocalZone) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "America/New_York", 1);
  tzset();
  EXPECT_EQ(Parse("expires: thu, 01 dec 1994 16:00:00 gmt\r\n"), k1Dec1994At16);
  EXPECT_EQ(FormatHttpDate(k1Dec1994At16), "Thu, 01 Dec 1994 16:00:00 GMT");
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(HttpDate, RefusedForms) {
  const char* refused[] = {
      "expires: thu dec  1 16:00:00 1994\r\n",       // asctime: no comma after the weekday
      "expires: 0\r\n",                              // not a date
      "expires: xyz, 01 dec 1994 16:00:00 gmt\r\n",  // no such weekday
      "expires: thu, 32 dec 1994 16:00:00 gmt\r\n",  // day out of range
      "expires: thu, 01 foo 1994 16:00:00 gmt\r\n",  // no such month
      "expires: thu, 01 dec 1994 25:00:00 gmt\r\n",  // hour out of range
      "expires: thu, 01 dec 1994 16:61:00 gmt\r\n",
      "expires: thu, 01 dec 1994\r\nlast-modified: x:y:z\r\n",  // parts from the next line
      "expires: thu, 01 dec 1994 16:00\r\n",
  };
  for (const char* line : refused) EXPECT_EQ(Parse(line), -1) << line;
}

TEST(HttpDate, HeaderDateTellsUnrepresentableApart) {
  uint32_t t = 0;
  EXPECT_EQ(HeaderDate("x\r\nexpires: thu, 01 dec 1994 16:00:00 gmt\r\n", "expires:", &t),
            DateRead::kConverted);
  EXPECT_EQ(t, k1Dec1994At16);
  EXPECT_EQ(HeaderDate("expires: wed, 31 dec 1969 23:59:59 gmt\r\n", "expires:", &t),
            DateRead::kUnrepresentable);
  EXPECT_EQ(HeaderDate("expires: sat, 01 jan 2107 00:00:00 gmt\r\n", "expires:", &t),
            DateRead::kUnrepresentable);
  EXPECT_EQ(HeaderDate("expires: 0\r\n", "expires:", &t), DateRead::kMissing);
  EXPECT_EQ(HeaderDate("date: thu, 01 dec 1994 16:00:00 gmt\r\n", "expires:", &t),
            DateRead::kMissing);
}

TEST(ConditionalGet, SendsRfc1123DateTheHostAndTheUrlAsWritten) {
  EXPECT_EQ(BuildConditionalGet(k1Dec1994At16, "/Docs/Page.HTML", "alpha:8080"),
            "GET /Docs/Page.HTML HTTP/1.0 \r\nHost: alpha:8080\r\n"
            "If-Modified-Since: Thu, 01 Dec 1994 16:00:00 GMT\r\n\r\n");
  // The date written reads back as the same time.
  std::string text = "if-modified-since: " + FormatHttpDate(1700000000) + "\r\n";
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(Parse(text.c_str()), 1700000000);
}

}  // namespace
}  // namespace web
