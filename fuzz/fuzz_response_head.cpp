// Fuzz target: the cache's reading of a server's response head — status, header end, length,
// dates, coding and cache-control. Single-threaded libFuzzer process.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "gateway/web/cache_rules.h"
#include "gateway/web/content_coding.h"
#include "gateway/web/http_date.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  size_t end = web::FindHeaderEnd(text, size);
  if (end != std::string::npos) {
    if (end > size) __builtin_trap();
    size_t length = web::HeaderEndLength(text, end);
    if (end + length > size) __builtin_trap();
  }
  (void)web::ClassifyResponse(text, size);
  std::string lower = web::Lowered(text, size);
  (void)web::DeclaredContentLength(lower);
  (void)web::CacheControlForbidsStore(lower);
  (void)web::ContentCodingOf(fuzz::Text(data, size));
  uint32_t seconds = 0;
  (void)web::HeaderDate(lower, "expires:", &seconds);
  (void)web::HeaderDate(lower, "last-modified:", &seconds);
  return 0;
}
