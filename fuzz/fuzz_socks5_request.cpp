// Fuzz target: a SOCKS 5 client's greeting and then its request, parsed from the input as the
// session would receive them, checking that each verdict asks for no byte beyond the message's
// bound and that a whole message never claims more bytes than it was given. Single-threaded.
#include <cstddef>
#include <cstdint>

#include "gateway/proxies/socks5_request.h"

namespace {

// The session's contract on a verdict over size bytes of a message bounded by limit.
void Check(proxies::Socks5Parse verdict, size_t size, size_t need, size_t limit) {
  if (verdict == proxies::Socks5Parse::kNeedMore && (need <= size || need > limit))
    __builtin_trap();
  if (verdict == proxies::Socks5Parse::kComplete && (need > size || need > limit)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t need = 0;
  proxies::Socks5Greeting greeting;
  proxies::Socks5Parse verdict = proxies::ParseSocks5Greeting(data, size, &need, &greeting);
  Check(verdict, size, need, proxies::kSocks5GreetingLimit);
  if (verdict != proxies::Socks5Parse::kComplete) return 0;
  const uint8_t* request = data + need;
  size_t left = size - need;
  proxies::Socks5Target target;
  unsigned char code = 0;
  verdict = proxies::ParseSocks5Request(request, left, &need, &target, &code);
  Check(verdict, left, need, proxies::kSocks5RequestLimit);
  if (verdict == proxies::Socks5Parse::kRefused && code != proxies::kSocks5AddressNotSupported &&
      code != proxies::kSocks5CommandNotSupported)
    __builtin_trap();
  return 0;
}
