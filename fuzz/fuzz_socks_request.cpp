// Fuzz target: a SOCKS client's request read from a socket that sends the input and closes.
// Single-threaded libFuzzer process.
#include <unistd.h>

#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "gateway/proxies/socks_opening.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int s = fuzz::SocketHolding(data, size);
  if (s < 0) return 0;
  proxies::SocksRequest request;
  if (proxies::ReadSocksRequest(s, 20, &request) == 0 && request.address.size() > 255)
    __builtin_trap();
  close(s);
  return 0;
}
