// Fuzz target: the host text of a request ("host:port") split into host and port, as target
// resolution does before any lookup. Single-threaded libFuzzer process.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "gateway/web/resolve_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string host;
  int port = -1;
  if (web::SplitHostText(fuzz::Text(data, size), &host, &port) == 0 &&
      (port < 0 || port > 65535 || host.size() > size))
    __builtin_trap();
  return 0;
}
