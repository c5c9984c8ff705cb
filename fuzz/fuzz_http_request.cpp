// Fuzz target: a proxy request as the web opening reads it — the request line rewrite, the
// header block's end and fields, the connection headers dropped, and the body framing.
// Single-threaded libFuzzer process.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "gateway/web/cache_rules.h"
#include "gateway/web/header_fields.h"
#include "gateway/web/request_framing.h"
#include "gateway/web/request_head.h"
#include "gateway/web/request_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string request = fuzz::Text(data, size);
  size_t end = web::HeadEnd(request);
  if (end != std::string::npos && end > request.size()) __builtin_trap();
  (void)web::ReadRequestFacts(request);
  (void)web::ListMembers(web::HeaderValues(request, "connection"));
  std::string without = web::CloseConnectionHeaders(request);
  if (without.size() > request.size() + 64) __builtin_trap();

  web::RequestFraming framing;
  std::string head = end == std::string::npos ? request : request.substr(0, end);
  if (framing.Start(head) && end != std::string::npos) {
    size_t taken = framing.TakeClientBytes(request.data() + end, request.size() - end);
    if (taken > request.size() - end) __builtin_trap();
  }

  std::string host_text;
  bool is_connect = false;
  std::string line = request;
  if (web::RewriteRequestLine(&line, &host_text, &is_connect) == 0 && line.size() > request.size())
    __builtin_trap();
  return 0;
}
