// Fuzz target: a RealAudio client's dialogue — messages (2-byte length, body) read from a
// socket that sends the input and closes, each applied to the request until it ends.
// Single-threaded libFuzzer process.
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "gateway/proxies/realaudio_dialog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int s = fuzz::SocketHolding(data, size);
  if (s < 0) return 0;
  proxies::RealAudioRequest request;
  std::vector<uint8_t> body;
  for (int message = 0; message < 1024; ++message) {
    if (proxies::ReadDialogueMessage(s, 20, &body) != 0) break;
    int code = 0;
    int step = proxies::TakeDialogueMessage(body, &request, &code);
    if (step == proxies::kDialogueRefuse) {
      (void)proxies::RealAudioReply(code);
      break;
    }
    if (step == proxies::kDialogueGo) break;
  }
  close(s);
  return 0;
}
