// Reading header fields out of a request or response header block: the values of one field
// name and the comma-separated members of a list field. Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace web {

// Without leading and trailing blanks, tabs and a trailing carriage return.
[[nodiscard]] std::string_view TrimField(std::string_view text);
// The trimmed values, in their own case and in order, of every line of the block (after its
// first line) whose field name is name (compared without case; name in lower case).
[[nodiscard]] std::vector<std::string> HeaderValues(const std::string& block,
                                                    std::string_view name);
// The non-empty trimmed comma-separated members of every value, lower-cased.
[[nodiscard]] std::vector<std::string> ListMembers(const std::vector<std::string>& values);

}  // namespace web
