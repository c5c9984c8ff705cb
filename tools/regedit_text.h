// REGEDIT4 text for wayfarer-reg: parsing a whole file into keys and values (checked before
// anything is applied) and formatting key and value lines for export.
// Pure functions on strings; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace regtool {

inline constexpr std::string_view kRegFileHeader = "REGEDIT4";

struct RegFileValue {
  std::string name;     // "" is the default value (written @)
  bool remove = false;  // "Name"=-
  uint32_t type = platform::kRegNone;
  std::vector<uint8_t> data;  // as stored: a REG_SZ includes its terminating zero
  int line = 0;
};

struct RegFileKey {
  platform::Hive hive = platform::Hive::kLocalMachine;
  std::string path;     // below the hive; "" is the hive's root
  bool remove = false;  // [-HIVE\path]: delete the key and everything below it
  int line = 0;
  std::vector<RegFileValue> values;
};

// Parses a whole REGEDIT4 text (LF or CRLF; hex lists may continue over lines ending in a
// backslash). On the first problem returns false and sets *error to "line N: reason";
// *keys is then unspecified.
[[nodiscard]] bool ParseRegFile(std::string_view text, std::vector<RegFileKey>* keys,
                                std::string* error);

// "[HKEY_LOCAL_MACHINE\path]" ("[HKEY_LOCAL_MACHINE]" for an empty path).
[[nodiscard]] std::string FormatKeyLine(platform::Hive hive, std::string_view path);
// One value as a line without its newline; hex lists longer than a screen line are
// continued with ",\" + newline + two spaces. Data that the text forms cannot carry exactly
// (a REG_SZ without its zero or with a line break, a REG_DWORD not of 4 bytes) is written
// as hex(N) so that importing it gives back the same bytes.
[[nodiscard]] std::string FormatValueLine(std::string_view name, uint32_t type,
                                          const std::vector<uint8_t>& data);

// Parses hex bytes "01,2f,ff" (one or two digits each; spaces allowed around commas).
// With packed, a run of digit pairs "012fff" is accepted too. Empty text is no bytes.
[[nodiscard]] bool ParseHexBytes(std::string_view text, bool packed, std::vector<uint8_t>* out);

}  // namespace regtool
