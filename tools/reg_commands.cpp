// The work behind wayfarer-reg's commands (see reg_commands.h).
// Uses the process's settings store; call from one thread at a time.
#include "tools/reg_commands.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace regtool {
namespace {

using platform::Hive;
using platform::kErrorSuccess;
using platform::RegKey;

long ExportTree(const RegKey& key, Hive hive, const std::string& path, std::string* out) {
  *out += FormatKeyLine(hive, path) + "\n";
  std::string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  long rc = kErrorSuccess;
  for (uint32_t i = 0; (rc = platform::RegEnumValue(key, i, &name, &type, &data)) == 0; ++i) {
    *out += FormatValueLine(name, type, data) + "\n";
  }
  if (rc != platform::kErrorNoMoreItems) return rc;
  *out += "\n";
  for (uint32_t i = 0; (rc = platform::RegEnumKey(key, i, &name)) == kErrorSuccess; ++i) {
    RegKey sub;
    if (long open = platform::RegOpenKey(key, name, &sub); open != kErrorSuccess) return open;
    std::string sub_path = path.empty() ? name : path + "\\" + name;
    if (long sub_rc = ExportTree(sub, hive, sub_path, out); sub_rc != kErrorSuccess) {
      return sub_rc;
    }
  }
  return rc == platform::kErrorNoMoreItems ? kErrorSuccess : rc;
}

long ApplyKey(const RegFileKey& key) {
  if (key.remove) {
    long rc = platform::RegDeleteKey(RegKey::Root(key.hive), key.path);
    return rc == platform::kErrorFileNotFound ? kErrorSuccess : rc;
  }
  RegKey opened;
  if (long rc = platform::RegCreateKey(key.hive, key.path, &opened); rc != kErrorSuccess) {
    return rc;
  }
  for (const RegFileValue& value : key.values) {
    long rc = value.remove
                  ? platform::RegDeleteValue(opened, value.name)
                  : platform::RegSetValue(opened, value.name, value.type, value.data.data(),
                                          static_cast<uint32_t>(value.data.size()));
    if (value.remove && rc == platform::kErrorFileNotFound) rc = kErrorSuccess;
    if (rc != kErrorSuccess) return rc;
  }
  return kErrorSuccess;
}

bool ParseDword(std::string_view text, uint32_t* out) {
  if (text.empty() || text.front() == '-' || text.front() == '+' || text.front() == ' ') {
    return false;
  }
  std::string owned(text);
  bool hex = owned.size() > 2 && owned[0] == '0' && (owned[1] == 'x' || owned[1] == 'X');
  char* end = nullptr;
  errno = 0;
  unsigned long long value = std::strtoull(owned.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || end != owned.c_str() + owned.size() || value > 0xffffffffULL) return false;
  *out = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

bool ParseKeyArg(std::string_view arg, Hive* hive, std::string* path, std::string* error) {
  size_t slash = arg.find('\\');
  std::string_view hive_name = arg.substr(0, slash);
  if (!platform::ParseHive(hive_name, hive)) {
    *error = "unknown hive: " + std::string(hive_name);
    return false;
  }
  *path = slash == std::string_view::npos ? std::string() : std::string(arg.substr(slash + 1));
  return true;
}

long ExportKey(Hive hive, const std::string& path, std::string* out) {
  RegKey key;
  if (long rc = platform::RegOpenKey(hive, path, &key); rc != kErrorSuccess) return rc;
  // The key as stored, so the export shows its spelling rather than the argument's.
  std::string stored = path;
  Hive stored_hive = hive;
  if (long rc = platform::RegKeyPath(key, &stored_hive, &stored); rc != kErrorSuccess) {
    return rc;
  }
  return ExportTree(key, hive, stored, out);
}

long ExportText(const Hive* hive, const std::string& path, std::string* out) {
  *out = std::string(kRegFileHeader) + "\n\n";
  if (hive != nullptr) return ExportKey(*hive, path, out);
  for (Hive each : {Hive::kLocalMachine, Hive::kCurrentUser, Hive::kClassesRoot}) {
    if (long rc = ExportKey(each, "", out); rc != kErrorSuccess) return rc;
  }
  return kErrorSuccess;
}

long ApplyRegFile(const std::vector<RegFileKey>& keys, std::string* error) {
  for (const RegFileKey& key : keys) {
    if (long rc = ApplyKey(key); rc != kErrorSuccess) {
      *error = "line " + std::to_string(key.line) + ": " + ErrorText(rc);
      return rc;
    }
  }
  return kErrorSuccess;
}

bool ParseSetData(std::string_view type_name, std::string_view text, uint32_t* type,
                  std::vector<uint8_t>* data, std::string* error) {
  if (type_name == "REG_SZ") {
    data->assign(text.begin(), text.end());
    data->push_back(0);
    *type = platform::kRegSz;
    return true;
  }
  if (type_name == "REG_DWORD") {
    uint32_t value = 0;
    if (!ParseDword(text, &value)) {
      *error = "not a 32-bit number (decimal or 0x hex): " + std::string(text);
      return false;
    }
    *data = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
             static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    *type = platform::kRegDword;
    return true;
  }
  if (type_name == "REG_BINARY") {
    if (!ParseHexBytes(text, true, data)) {
      *error = "not hex bytes (like 01,02 or 0102): " + std::string(text);
      return false;
    }
    *type = platform::kRegBinary;
    return true;
  }
  *error = "unknown type (REG_SZ, REG_DWORD or REG_BINARY): " + std::string(type_name);
  return false;
}

std::string TypeName(uint32_t type) {
  switch (type) {
    case platform::kRegNone:
      return "REG_NONE";
    case platform::kRegSz:
      return "REG_SZ";
    case platform::kRegBinary:
      return "REG_BINARY";
    case platform::kRegDword:
      return "REG_DWORD";
    default:
      return "type " + std::to_string(type);
  }
}

std::string FormatQueryLine(std::string_view name, uint32_t type,
                            const std::vector<uint8_t>& data) {
  std::string line =
      (name.empty() ? std::string("(Default)") : std::string(name)) + "\t" + TypeName(type) + "\t";
  if (type == platform::kRegSz) {
    std::string text(data.begin(), data.end());
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return line + text;
  }
  char buffer[40];
  if (type == platform::kRegDword && data.size() == 4) {
    uint32_t value = data[0] | data[1] << 8 | data[2] << 16 | uint32_t{data[3]} << 24;
    std::snprintf(buffer, sizeof buffer, "%u (0x%x)", value, value);
    return line + buffer;
  }
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : " %02x", data[i]);
    line += buffer;
  }
  return line;
}

std::string ErrorText(long code) {
  switch (code) {
    case platform::kErrorFileNotFound:
      return "not found";
    case platform::kErrorAccessDenied:
      return "access denied";
    case platform::kErrorBadKey:
      return "bad key path";
    case platform::kErrorKeyDeleted:
      return "key was deleted";
    default:
      return "error " + std::to_string(code);
  }
}

}  // namespace regtool
