// Fixed-buffer string reads over the settings store.
#include "clientsetup/registry_values.h"

#include <vector>

namespace clientsetup {

long ReadStringValue(const platform::RegKey& key, const std::string& name, size_t max_bytes,
                     std::string* out) {
  std::vector<char> buffer(max_bytes);
  uint32_t type = 0;
  uint32_t size = static_cast<uint32_t>(max_bytes);
  long rc = platform::RegQueryValue(key, name, &type, buffer.data(), &size);
  if (rc != platform::kErrorSuccess) return rc;
  size_t length = 0;
  while (length < size && buffer[length] != '\0') ++length;
  out->assign(buffer.data(), length);
  return platform::kErrorSuccess;
}

}  // namespace clientsetup
