// Fuzz target: collecting a request header block from a client socket that sends the input
// and closes (the bounded read of the web opening). Single-threaded libFuzzer process.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "gateway/web/request_head.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int s = fuzz::SocketHolding(data, size);
  if (s < 0) return 0;
  std::string request;
  (void)web::CollectRequestHead(s, 20, &request);
  if (request.size() > size) __builtin_trap();
  close(s);
  return 0;
}
