// The work behind wayfarer-reg's commands, kept apart from main() so tests can drive it:
// KEY arguments, export of a subtree as REGEDIT4 text, applying a parsed file, and the
// data and output forms of `set` and `query`. Uses the process's settings store; call from
// one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "tools/regedit_text.h"

namespace regtool {

// Splits "HIVE\path" (or "HIVE" alone). Returns false with *error for an unknown hive.
[[nodiscard]] bool ParseKeyArg(std::string_view arg, platform::Hive* hive, std::string* path,
                               std::string* error);

// Appends the REGEDIT4 blocks of the key and everything below it, depth-first in
// enumeration order. Returns a Win32 code (kErrorFileNotFound when the key is missing).
[[nodiscard]] long ExportKey(platform::Hive hive, const std::string& path, std::string* out);
// The whole export text: header, blank line, then the blocks of one key or of all hives.
[[nodiscard]] long ExportText(const platform::Hive* hive, const std::string& path,
                              std::string* out);

// Applies parsed keys in file order. Deleting a key or value that is absent is not an
// error. On failure returns the Win32 code and sets *error to "line N: ...".
[[nodiscard]] long ApplyRegFile(const std::vector<RegFileKey>& keys, std::string* error);

// Parses `set` data: REG_SZ text, REG_DWORD decimal or 0x hex fitting 32 bits, REG_BINARY
// hex bytes ("01,02" or "0102"). Returns false with *error, leaving *type and *data unset.
[[nodiscard]] bool ParseSetData(std::string_view type_name, std::string_view text, uint32_t* type,
                                std::vector<uint8_t>* data, std::string* error);

// REG_SZ, REG_DWORD, REG_BINARY, REG_NONE or "type N".
[[nodiscard]] std::string TypeName(uint32_t type);
// One `query` output line: name ("(Default)" for ""), type name, data.
[[nodiscard]] std::string FormatQueryLine(std::string_view name, uint32_t type,
                                          const std::vector<uint8_t>& data);
// A short text for a Win32 code from the store.
[[nodiscard]] std::string ErrorText(long code);

}  // namespace regtool
