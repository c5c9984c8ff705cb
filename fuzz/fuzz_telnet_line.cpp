// Fuzz target: the Telnet prompt's line editor fed the input in reads of varying length (the
// first byte picks the read length), then the host taken from the line. Single-threaded.
#include <cstdint>
#include <string>
#include <string_view>

#include "gateway/proxies/telnet_line_editor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t step = data[0] % 64 + 1;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  proxies::TelnetLineEditor editor;
  while (!rest.empty()) {
    std::string_view read = rest.substr(0, step);
    rest.remove_prefix(read.size());
    bool ended = false;
    (void)editor.Feed(read, &ended);
    if (editor.line().size() >= proxies::kTelnetBufferSize) __builtin_trap();
    if (ended) {
      std::string host = proxies::HostFromLine(editor.line());
      (void)proxies::IsExitLine(host);
      editor.Clear();
    }
  }
  return 0;
}
