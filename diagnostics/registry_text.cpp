// Fixed-buffer registry reads: the stored size is checked against the buffer before any copy.
#include "diagnostics/registry_text.h"

#include <cstdio>
#include <vector>

namespace diagnostics {

using platform::kErrorMoreData;

long ReadText(const platform::RegKey& key, std::string_view name, std::string* out,
              uint32_t width) {
  std::vector<uint8_t> buffer(width);
  uint32_t type = platform::kRegNone;
  uint32_t size = width;
  long rc = platform::RegQueryValue(key, name, &type, buffer.data(), &size);
  if (rc != platform::kErrorSuccess) return rc;
  if (type == platform::kRegDword && size == 4) {
    uint32_t n = buffer[0] | buffer[1] << 8 | buffer[2] << 16 | uint32_t{buffer[3]} << 24;
    *out = std::to_string(n);
  } else if (type == platform::kRegSz) {
    size_t length = 0;
    while (length < size && buffer[length] != 0) ++length;
    out->assign(reinterpret_cast<const char*>(buffer.data()), length);
  } else {
    out->clear();
    for (uint32_t i = 0; i < size; ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02X", buffer[i]);
      out->append(i == 0 ? "" : " ").append(hex);
    }
  }
  return platform::kErrorSuccess;
}

long ReadText(platform::Hive hive, std::string_view key_path, std::string_view name,
              std::string* out, uint32_t width) {
  platform::RegKey key;
  long rc = platform::RegOpenKey(hive, key_path, &key);
  if (rc != platform::kErrorSuccess) return rc;
  rc = ReadText(key, name, out, width);
  platform::RegCloseKey(key);
  return rc;
}

long ReadNumber(const platform::RegKey& key, std::string_view name, uint32_t* out) {
  uint8_t buffer[4] = {};
  uint32_t type = platform::kRegNone;
  uint32_t size = sizeof buffer;
  long rc = platform::RegQueryValue(key, name, &type, buffer, &size);
  if (rc != platform::kErrorSuccess) return rc;
  if (type == platform::kRegSz) return platform::kErrorInvalidParameter;
  if (size != sizeof buffer) return kErrorMoreData;
  *out = buffer[0] | buffer[1] << 8 | buffer[2] << 16 | uint32_t{buffer[3]} << 24;
  return platform::kErrorSuccess;
}

}  // namespace diagnostics
