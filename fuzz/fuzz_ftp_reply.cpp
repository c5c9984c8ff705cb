// Fuzz target: bytes of an FTP control connection (either side) cut into lines by the
// bounded line reader, and the server's multi-line reply framing over those lines.
// Single-threaded libFuzzer process.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "gateway/proxies/ftp_commands.h"
#include "gateway/proxies/ftp_line_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int s = fuzz::SocketHolding(data, size);
  if (s < 0) return 0;
  proxies::FtpLineReader reader;
  std::string first;
  bool open = false;
  for (int round = 0; round < 4096; ++round) {
    int n = reader.Fill(s);
    std::string line;
    proxies::FtpLineReader::Take take;
    while ((take = reader.TakeLine(&line)) != proxies::FtpLineReader::Take::kNone) {
      if (line.size() > proxies::FtpLineReader::kCapacity) __builtin_trap();
      if (!open) {
        first = line;
        open = proxies::OpensMultiLineReply(line);
      } else if (proxies::EndsMultiLineReply(first, line)) {
        open = false;
      }
    }
    if (n <= 0) break;
  }
  if (reader.TakeAll().size() > proxies::FtpLineReader::kCapacity) __builtin_trap();
  close(s);
  return 0;
}
