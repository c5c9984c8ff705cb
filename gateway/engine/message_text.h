// Filling the engine's message patterns ("%d", "%s") with their values. Pure; any thread.
#pragma once

#include <string>

namespace engine {

// pattern with its first "%d" or "%s" replaced by value.
[[nodiscard]] inline std::string FillIn(const std::string& pattern, const std::string& value) {
  for (size_t i = 0; i + 1 < pattern.size(); ++i) {
    if (pattern[i] == '%' && (pattern[i + 1] == 'd' || pattern[i + 1] == 's')) {
      return pattern.substr(0, i) + value + pattern.substr(i + 2);
    }
  }
  return pattern;
}
[[nodiscard]] inline std::string FillIn(const std::string& pattern, int value) {
  return FillIn(pattern, std::to_string(value));
}

}  // namespace engine
