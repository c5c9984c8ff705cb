// Reading and writing HTTP dates.
#include "gateway/web/http_date.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace web {
namespace {

const char* const kDays[7] = {"sunday",   "monday", "tuesday", "wednesday",
                              "thursday", "friday", "saturday"};
const char* const kMonths[12] = {"january",   "february", "march",    "april",
                                 "may",       "june",     "july",     "august",
                                 "september", "october",  "november", "december"};

// A name matches when its first three letters are those of the full name.
int MatchName(const std::string& token, const char* const* names, int count) {
  if (token.size() < 3) return -1;
  for (int i = 0; i < count; ++i) {
    if (std::strncmp(token.c_str(), names[i], 3) == 0) return i;
  }
  return -1;
}

// A whole decimal number in [low, high]; false for anything else.
bool Number(const std::string& text, long low, long high, long* out) {
  if (text.empty() || text.size() > 9) return false;
  long v = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    v = v * 10 + (c - '0');
  }
  if (v < low || v > high) return false;
  *out = v;
  return true;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// Takes the text from *pos up to the next stop character (exclusive) and moves past it;
// false when the line or the text ends first.
bool TakeUntil(const char* text, size_t* pos, char stop, std::string* out) {
  size_t i = *pos;
  while (text[i] != stop) {
    if (text[i] == '\0' || text[i] == '\r' || text[i] == '\n') return false;
    ++i;
  }
  out->assign(text + *pos, i - *pos);
  *pos = i + 1;
  return true;
}

}  // namespace

int ExtractDateValue(const char* text, std::string* date) {
  size_t pos = 0;
  std::string name, first, minutes, seconds;
  if (!TakeUntil(text, &pos, ':', &name) || !TakeUntil(text, &pos, ':', &first) ||
      !TakeUntil(text, &pos, ':', &minutes)) {
    return -1;
  }
  // The seconds end at a blank, the line's end or the text's end.
  size_t end = pos;
  while (text[end] != '\0' && text[end] != ' ' && text[end] != '\r' && text[end] != '\n') ++end;
  seconds.assign(text + pos, end - pos);
  if (seconds.empty()) return -1;
  std::string joined = first + ":" + minutes + ":" + seconds;
  if (joined.size() > kMaxDateValue) joined.resize(kMaxDateValue);
  size_t lead = joined.find_first_not_of(' ');
  joined = lead == std::string::npos ? std::string() : joined.substr(lead);
  for (char& c : joined) {
    if (c == '-') c = ' ';
  }
  *date = joined;
  return 0;
}

bool ParseHttpDate(const std::string& date_text, int64_t* seconds) {
  std::string text = date_text.substr(0, kMaxDateRead);
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  std::string weekday = text.substr(0, comma);
  if (MatchName(weekday, kDays, 7) < 0) return false;
  // The rest: day, month, year, then h:m:s, separated by runs of blanks.
  std::string tokens[4];
  size_t pos = comma + 1;
  for (auto& token : tokens) {
    pos = text.find_first_not_of(' ', pos);
    if (pos == std::string::npos) return false;
    size_t end = text.find(' ', pos);
    token = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? text.size() : end;
  }
  long day = 0, year = 0, hour = 0, minute = 0, second = 0;
  int month = MatchName(tokens[1], kMonths, 12);
  if (!Number(tokens[0], 1, 31, &day) || month < 0 || !Number(tokens[2], 0, 99999, &year)) {
    return false;
  }
  if (year < 1900) year += 1900;  // RFC 850's two-digit years are 19xx
  size_t c1 = tokens[3].find(':');
  size_t c2 = c1 == std::string::npos ? c1 : tokens[3].find(':', c1 + 1);
  if (c2 == std::string::npos) return false;
  if (!Number(tokens[3].substr(0, c1), 0, 24, &hour) ||
      !Number(tokens[3].substr(c1 + 1, c2 - c1 - 1), 0, 60, &minute) ||
      !Number(tokens[3].substr(c2 + 1), 0, 60, &second)) {
    return false;
  }
  int64_t days = DaysFromCivil(year, static_cast<unsigned>(month + 1), static_cast<unsigned>(day));
  *seconds = days * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

std::string FormatHttpDate(uint32_t seconds) {
  static const char* const kDayAbbrev[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonthAbbrev[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  time_t t = static_cast<time_t>(seconds);
  struct tm tm {};
  gmtime_r(&t, &tm);
  char out[40];
  std::snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDayAbbrev[tm.tm_wday],
                tm.tm_mday, kMonthAbbrev[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return out;
}

DateRead HeaderDate(const std::string& lower_head, const char* header_name, uint32_t* seconds) {
  size_t at = lower_head.find(header_name);
  if (at == std::string::npos) return DateRead::kMissing;
  std::string date;
  int64_t value = 0;
  if (ExtractDateValue(lower_head.c_str() + at, &date) != 0 || !ParseHttpDate(date, &value)) {
    return DateRead::kMissing;
  }
  if (value < 0 || value > static_cast<int64_t>(UINT32_MAX)) return DateRead::kUnrepresentable;
  *seconds = static_cast<uint32_t>(value);
  return DateRead::kConverted;
}

}  // namespace web
