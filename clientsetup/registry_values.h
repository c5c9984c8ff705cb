// Registry reads shared by the configurators: a string value read into a fixed-size buffer,
// as every place the client programs keep their settings is read. Used only by the GUI thread.
#pragma once

#include <string>

#include "platform/registry.h"

namespace clientsetup {

// Reads name from key into a buffer of max_bytes bytes: kErrorMoreData when the value does
// not fit, another registry error code when it cannot be read, else 0 with the text up to
// the first zero byte in *out.
[[nodiscard]] long ReadStringValue(const platform::RegKey& key, const std::string& name,
                                   size_t max_bytes, std::string* out);

}  // namespace clientsetup
