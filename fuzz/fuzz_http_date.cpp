// Fuzz target: HTTP dates — the value taken from a header line and its conversion; a date
// that converts and fits 32 bits must format back to the same moment. Single-threaded.
#include <cctype>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "gateway/web/http_date.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text = fuzz::Text(data, size);  // the zero at its end bounds the C-text reader
  std::string date;
  (void)web::ExtractDateValue(text.c_str(), &date);
  int64_t seconds = 0;
  if (web::ParseHttpDate(text, &seconds) && seconds >= 0 && seconds <= UINT32_MAX) {
    std::string formatted = web::FormatHttpDate(static_cast<uint32_t>(seconds));
    std::string value;
    int64_t again = -1;
    std::string line = "date: " + formatted;
    for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (web::ExtractDateValue(line.c_str(), &value) == 0 &&
        (!web::ParseHttpDate(value, &again) || again != seconds))
      __builtin_trap();
  }
  return 0;
}
