// Header field values and list members (RFC 9110 sections 5.1 and 5.6.1).
#include "gateway/web/header_fields.h"

#include <cctype>

namespace web {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::string_view TrimField(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) {
    v.remove_suffix(1);
  }
  return v;
}

std::vector<std::string> HeaderValues(const std::string& block, std::string_view name) {
  std::vector<std::string> values;
  size_t pos = block.find('\n');  // past the first line
  while (pos != std::string::npos && pos + 1 < block.size()) {
    size_t start = pos + 1;
    size_t end = block.find('\n', start);
    std::string_view line(block.data() + start,
                          (end == std::string::npos ? block.size() : end) - start);
    size_t colon = line.find(':');
    if (colon != std::string_view::npos && Lower(TrimField(line.substr(0, colon))) == name) {
      values.emplace_back(TrimField(line.substr(colon + 1)));
    }
    pos = end;
  }
  return values;
}

std::vector<std::string> ListMembers(const std::vector<std::string>& values) {
  std::vector<std::string> members;
  for (const std::string& value : values) {
    size_t pos = 0;
    while (pos <= value.size()) {
      size_t comma = value.find(',', pos);
      if (comma == std::string::npos) comma = value.size();
      std::string_view member = TrimField(std::string_view(value).substr(pos, comma - pos));
      if (!member.empty()) members.push_back(Lower(member));
      pos = comma + 1;
    }
  }
  return members;
}

}  // namespace web
