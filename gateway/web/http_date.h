// HTTP dates of the web cache: the date text of an Expires or Last-Modified header, its
// conversion to seconds since 1970 and the RFC 1123 text of a stored time. Dates are
// Greenwich time in both directions. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace web {

// The longest date text taken from a header, and the most the reader looks at.
inline constexpr size_t kMaxDateValue = 49;
inline constexpr size_t kMaxDateRead = 63;

// text starts at a header name in a lower-cased header block ("expires: thu, 01 ...").
// Joins the parts up to the seconds with ":" (the zone is dropped), removes leading blanks
// and turns "-" into blanks. 0, or -1 when a part is missing or lies past the header's line.
[[nodiscard]] int ExtractDateValue(const char* text, std::string* date);

// Converts the RFC 1123 form ("thu, 01 dec 1994 16:00:00") or the RFC 850 form after
// ExtractDateValue ("thursday, 01 dec 94 16:00:00") as UTC. True with *seconds (which may
// lie outside 32 bits); false when the text is not such a date (the asctime form included).
[[nodiscard]] bool ParseHttpDate(const std::string& date, int64_t* seconds);

// "Thu, 01 Dec 1994 16:00:00 GMT".
[[nodiscard]] std::string FormatHttpDate(uint32_t seconds);

// The header's date from a lower-cased header block, as an unsigned 32-bit time.
enum class DateRead { kMissing, kConverted, kUnrepresentable };
[[nodiscard]] DateRead HeaderDate(const std::string& lower_head, const char* header_name,
                                  uint32_t* seconds);

}  // namespace web
