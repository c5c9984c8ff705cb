// REGEDIT4 parsing and formatting for wayfarer-reg (see regedit_text.h).
// Pure functions on strings; safe from any thread.
#include "tools/regedit_text.h"

#include <strings.h>

#include <cstdio>

namespace regtool {
namespace {

using platform::Hive;

constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kWrapColumn = 76;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses 1..max_digits hex digits filling text exactly.
bool ParseHexNumber(std::string_view text, size_t max_digits, uint32_t* out) {
  if (text.empty() || text.size() > max_digits) return false;
  uint32_t value = 0;
  for (char c : text) {
    int digit = HexDigit(c);
    if (digit < 0) return false;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  *out = value;
  return true;
}

// Reads a quoted string at the start of *rest (only \\ and \" are escapes) and advances
// *rest past its closing quote.
bool ReadQuoted(std::string_view* rest, std::string* out) {
  if (rest->empty() || rest->front() != '"') return false;
  out->clear();
  for (size_t i = 1; i < rest->size(); ++i) {
    char c = (*rest)[i];
    if (c == '"') {
      rest->remove_prefix(i + 1);
      return true;
    }
    if (c == '\\') {
      if (i + 1 == rest->size() || ((*rest)[i + 1] != '\\' && (*rest)[i + 1] != '"')) {
        return false;
      }
      c = (*rest)[++i];
    }
    out->push_back(c);
  }
  return false;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

bool ValidKeyPath(std::string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end == start || end - start > kMaxKeyNameLength) return false;
    start = end + 1;
  }
  return true;
}

// Parses hex:list or hex(N):list; returns the reason it is malformed, or nullptr.
const char* ParseHexData(std::string_view text, RegFileValue* value) {
  value->type = platform::kRegBinary;
  if (StartsWithNoCase(text, "hex(")) {
    size_t close = text.find("):");
    if (close == std::string_view::npos ||
        !ParseHexNumber(text.substr(4, close - 4), 8, &value->type)) {
      return "bad hex type";
    }
    text.remove_prefix(close + 2);
  } else if (StartsWithNoCase(text, "hex:")) {
    text.remove_prefix(4);
  } else {
    return "bad value";
  }
  return ParseHexBytes(text, false, &value->data) ? nullptr : "bad hex";
}

// Parses the text after '=' (-, "text", dword:x or a hex form); returns the reason it is
// malformed, or nullptr.
const char* ParseData(std::string_view text, RegFileValue* value) {
  if (text == "-") {
    value->remove = true;
    return nullptr;
  }
  if (!text.empty() && text.front() == '"') {
    std::string decoded;
    if (!ReadQuoted(&text, &decoded) || !Trim(text).empty()) return "bad string";
    value->type = platform::kRegSz;
    value->data.assign(decoded.begin(), decoded.end());
    value->data.push_back(0);
    return nullptr;
  }
  if (StartsWithNoCase(text, "dword:")) {
    std::string_view digits = text.substr(6);
    uint32_t number = 0;
    if (digits.size() > 8) return "dword out of range";
    if (!ParseHexNumber(digits, 8, &number)) return "bad dword";
    value->type = platform::kRegDword;
    value->data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                   static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
    return nullptr;
  }
  return ParseHexData(text, value);
}

class Parser {
 public:
  Parser(std::string_view text, std::vector<RegFileKey>* keys, std::string* error)
      : keys_(keys), error_(error) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    for (size_t start = 0; start <= text.size();) {
      size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      lines_.push_back(text.substr(start, end - start));
      start = end + 1;
    }
  }

  bool Run() {
    keys_->clear();
    size_t i = 0;
    while (i < lines_.size() && Trim(lines_[i]).empty()) ++i;
    if (i == lines_.size() || Trim(lines_[i]) != kRegFileHeader) {
      return Fail(i < lines_.size() ? i + 1 : 1, "missing REGEDIT4 header");
    }
    for (++i; i < lines_.size(); ++i) {
      std::string_view text = Trim(lines_[i]);
      if (text.empty() || text.front() == ';') continue;
      bool ok = text.front() == '[' ? ParseKeyLine(text, i + 1) : ParseValueLine(&i);
      if (!ok) return false;
    }
    return true;
  }

 private:
  bool Fail(size_t line, const std::string& why) {
    *error_ = "line " + std::to_string(line) + ": " + why;
    return false;
  }

  bool ParseKeyLine(std::string_view text, size_t line) {
    if (text.back() != ']') return Fail(line, "key line without closing ]");
    text = text.substr(1, text.size() - 2);
    RegFileKey key;
    key.line = static_cast<int>(line);
    key.remove = !text.empty() && text.front() == '-';
    if (key.remove) text.remove_prefix(1);
    size_t slash = text.find('\\');
    std::string_view hive = text.substr(0, slash);
    if (!platform::ParseHive(hive, &key.hive)) {
      return Fail(line, "unknown hive: " + std::string(hive));
    }
    if (slash != std::string_view::npos) {
      key.path = std::string(text.substr(slash + 1));
      if (!ValidKeyPath(key.path)) return Fail(line, "bad key path");
    }
    if (key.remove && key.path.empty()) return Fail(line, "cannot delete a hive root");
    keys_->push_back(std::move(key));
    return true;
  }

  // Parses the value line at *index, joining continuation lines of a hex list.
  bool ParseValueLine(size_t* index) {
    size_t line = *index + 1;
    std::string_view text = Trim(lines_[*index]);
    if (keys_->empty()) return Fail(line, "value before any [key]");
    if (keys_->back().remove) return Fail(line, "value under a deleted key");
    RegFileValue value;
    value.line = static_cast<int>(line);
    if (text.front() == '@') {
      text.remove_prefix(1);
    } else if (!ReadQuoted(&text, &value.name)) {
      return Fail(line, "bad value name");
    }
    if (text.empty() || text.front() != '=') return Fail(line, "expected =");
    std::string data(Trim(text.substr(1)));
    if (StartsWithNoCase(data, "hex")) {
      while (!data.empty() && data.back() == '\\') {
        if (++*index == lines_.size()) return Fail(line, "hex list continues past the end");
        data.pop_back();
        data += Trim(lines_[*index]);
      }
    }
    if (const char* why = ParseData(data, &value)) return Fail(line, why);
    keys_->back().values.push_back(std::move(value));
    return true;
  }

  std::vector<std::string_view> lines_;
  std::vector<RegFileKey>* keys_;
  std::string* error_;
};

}  // namespace

bool ParseRegFile(std::string_view text, std::vector<RegFileKey>* keys, std::string* error) {
  return Parser(text, keys, error).Run();
}

bool ParseHexBytes(std::string_view text, bool packed, std::vector<uint8_t>* out) {
  out->clear();
  text = Trim(text);
  if (text.empty()) return true;
  if (packed && text.find(',') == std::string_view::npos) {
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
      uint32_t byte = 0;
      if (!ParseHexNumber(text.substr(i, 2), 2, &byte)) return false;
      out->push_back(static_cast<uint8_t>(byte));
    }
    return true;
  }
  for (size_t start = 0; start <= text.size();) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    uint32_t byte = 0;
    if (!ParseHexNumber(Trim(text.substr(start, comma - start)), 2, &byte)) return false;
    out->push_back(static_cast<uint8_t>(byte));
    start = comma + 1;
  }
  return true;
}

std::string FormatKeyLine(Hive hive, std::string_view path) {
  std::string line = "[" + std::string(platform::HiveName(hive));
  if (!path.empty()) line += "\\" + std::string(path);
  return line + "]";
}

std::string FormatValueLine(std::string_view name, uint32_t type,
                            const std::vector<uint8_t>& data) {
  std::string line = name.empty() ? std::string("@") : Quote(name);
  line += '=';
  std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  if (type == platform::kRegSz && !text.empty() && text.back() == '\0' &&
      text.find_first_of(std::string_view("\0\r\n", 3)) == text.size() - 1) {
    return line + Quote(text.substr(0, text.size() - 1));
  }
  char buffer[32];
  if (type == platform::kRegDword && data.size() == 4) {
    uint32_t value = data[0] | data[1] << 8 | data[2] << 16 | uint32_t{data[3]} << 24;
    std::snprintf(buffer, sizeof buffer, "dword:%08x", value);
    return line + buffer;
  }
  if (type == platform::kRegBinary) {
    line += "hex:";
  } else {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", type);
    line += buffer;
  }
  size_t line_start = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    if (i > 0) {
      line += ',';
      if (line.size() - line_start > kWrapColumn) {
        line += "\\\n  ";
        line_start = line.size() - 2;
      }
    }
    std::snprintf(buffer, sizeof buffer, "%02x", data[i]);
    line += buffer;
  }
  return line;
}

}  // namespace regtool
