// Fuzz target: a REGEDIT4 file given to wayfarer-reg's import; every value parsed must format
// to a line that parses back to the same type and bytes. Single-threaded libFuzzer process.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/regedit_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<regtool::RegFileKey> keys;
  std::string error;
  if (!regtool::ParseRegFile(text, &keys, &error)) return 0;
  for (const regtool::RegFileKey& key : keys) {
    if (key.remove) continue;
    for (const regtool::RegFileValue& value : key.values) {
      if (value.remove) continue;
      std::string again = std::string(regtool::kRegFileHeader) + "\n\n" +
                          regtool::FormatKeyLine(key.hive, key.path) + "\n" +
                          regtool::FormatValueLine(value.name, value.type, value.data) + "\n";
      std::vector<regtool::RegFileKey> back;
      if (!regtool::ParseRegFile(again, &back, &error) || back.size() != 1 ||
          back[0].values.size() != 1 || back[0].values[0].type != value.type ||
          back[0].values[0].data != value.data || back[0].values[0].name != value.name)
        __builtin_trap();
    }
  }
  return 0;
}
