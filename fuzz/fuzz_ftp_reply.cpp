// Fuzz target: bytes of an FTP control connection (either side) cut into lines by the
// bounded line reader, the server's reply framing over those lines and the passive reply.
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
  proxies::FtpReplyTracker tracker;
  for (int round = 0; round < 4096; ++round) {
    int n = reader.Fill(s);
    std::string line;
    proxies::FtpLineReader::Take take;
    while ((take = reader.TakeLine(&line)) != proxies::FtpLineReader::Take::kNone) {
      if (line.size() > proxies::FtpLineReader::kCapacity) __builtin_trap();
      int port = 0;
      if (tracker.EndsReply(line) && proxies::ParseFtpPassiveReply(line, &port) == 0 &&
          (port < 0 || port > 65535))
        __builtin_trap();
    }
    if (n <= 0) break;
  }
  if (reader.TakeAll().size() > proxies::FtpLineReader::kCapacity) __builtin_trap();
  close(s);
  return 0;
}
