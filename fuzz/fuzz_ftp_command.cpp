// Fuzz target: an FTP client's command line — its class, the USER user@host[:port] login, the
// PORT argument (which must give back a PORT command the server reads the same way), the
// EPRT and EPSV arguments.
// Single-threaded libFuzzer process.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "gateway/proxies/ftp_commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line = fuzz::Text(data, size);
  (void)proxies::ClassifyFtpCommand(line);
  std::string host;
  int port = 0;
  if (proxies::ParseFtpLogin(line, &host, &port) == 0) {
    if (port < 1 || port > 65535) __builtin_trap();
    (void)proxies::FtpServerUserLine(line);
  }
  std::string address;
  if (proxies::ParseFtpPort(line, &address, &port) == 0) {
    if (port < 0 || port > 65535) __builtin_trap();
    if (!address.empty()) {
      std::string again = proxies::FtpPortCommand(address, static_cast<uint16_t>(port));
      std::string address2;
      int port2 = -1;
      if (proxies::ParseFtpPort(again, &address2, &port2) != 0 || port2 != port) __builtin_trap();
    }
  }
  if (proxies::ParseFtpEprt(line, &address, &port) == 0 && (port < 1 || port > 65535))
    __builtin_trap();
  (void)proxies::ParseFtpEpsv(line);
  return 0;
}
