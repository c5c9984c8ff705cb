// Registry reads of the report: values read through fixed-size buffers, as text or as a
// number, with the Windows error code of the failing step. Any thread (the store is).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace diagnostics {

// Registry texts are read into buffers of this many bytes, terminating zero included.
inline constexpr uint32_t kTextBuffer = 512;

// Reads value `name` of key into a buffer of `width` bytes and gives it as text: REG_SZ up to
// its first zero, REG_DWORD as an unsigned decimal, other types as two-digit hex bytes
// separated by blanks. Returns 0, the store's error code, or kErrorMoreData when the stored
// data does not fit the buffer (nothing is cut and nothing written past the buffer).
[[nodiscard]] long ReadText(const platform::RegKey& key, std::string_view name, std::string* out,
                            uint32_t width = kTextBuffer);
// Opens key_path below hive, then reads as above; the code of the first failing step.
[[nodiscard]] long ReadText(platform::Hive hive, std::string_view key_path, std::string_view name,
                            std::string* out, uint32_t width = kTextBuffer);
// Reads a 4-byte number (REG_DWORD, or REG_BINARY of 4 bytes). kErrorMoreData when the value
// holds another number of bytes, kErrorInvalidParameter when it is a string.
[[nodiscard]] long ReadNumber(const platform::RegKey& key, std::string_view name, uint32_t* out);

}  // namespace diagnostics
