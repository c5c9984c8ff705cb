// Fuzz target: the POP3 client's lines before login (USER account@domain, and the answers to
// others) and a server's greeting.
// Single-threaded libFuzzer process.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "gateway/proxies/pop3_opening.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line = fuzz::Text(data, size);
  std::string account, domain;
  if (proxies::SplitPop3User(line, &account, &domain) == 0 &&
      (account.empty() || domain.empty() || account.size() + domain.size() > size))
    __builtin_trap();
  (void)proxies::IsPop3Ready(line);
  (void)proxies::Pop3PreLoginAnswer(line);
  return 0;
}
