// wayfarer-reg: the command-line editor of the settings store (export, import, query, set,
// delete). Exit status 0 on success, 1 when a key or value is missing or the store fails,
// 2 for usage errors and bad input (nothing is changed then). Single-threaded.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/registry.h"
#include "platform/single_instance.h"
#include "tools/reg_commands.h"
#include "tools/regedit_text.h"
#include "tools/store_owner.h"

namespace {

using platform::Hive;
using platform::kErrorSuccess;
using platform::RegKey;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const std::vector<platform::OptionRule> kOptions = {
    {"registry", "FILE", "use FILE as the settings store (as WAYFARER_REGISTRY does)"},
    {"reload", "", "then ask the gateway running on the store to re-read it"},
};

const std::string kUsage =
    "usage: wayfarer-reg [OPTIONS] export [KEY]\n"
    "       wayfarer-reg import FILE        (FILE - reads stdin)\n"
    "       wayfarer-reg query KEY [VALUE]\n"
    "       wayfarer-reg set KEY VALUE TYPE DATA\n"
    "       wayfarer-reg delete KEY [VALUE]\n"
    "KEY is HIVE\\path with HIVE one of HKEY_LOCAL_MACHINE (HKLM), HKEY_CURRENT_USER (HKCU),\n"
    "HKEY_CLASSES_ROOT (HKCR). VALUE \"\" is the key's default value. TYPE is REG_SZ,\n"
    "REG_DWORD (decimal or 0x hex) or REG_BINARY (hex bytes: 01,02 or 0102).\n"
    "The store is $WAYFARER_REGISTRY when set.\n"
    "OPTIONS (before the command; --reload alone only asks for the reload):\n"
    "  --registry FILE         use FILE as the settings store\n"
    "  --reload                then ask the gateway running on the store to re-read it\n"
    "  --help, --version       print this help or the version and exit\n";

int Usage() {
  std::cerr << kUsage;
  return kExitUsage;
}

int Fail(int status, const std::string& message) {
  std::cerr << "wayfarer-reg: " << message << "\n";
  return status;
}

// Asks the gateway running on this store to re-read it. 0, or 1 when none answers.
int AskReload() {
  if (platform::SingleInstance::SignalRunning(platform::StorePath(), platform::kReloadRequest)) {
    return 0;
  }
  return Fail(kExitFailed, "no gateway is running on " + platform::StorePath());
}

// Opens the key named by arg; on failure prints why and returns the exit status in *status.
bool OpenKeyArg(const std::string& arg, RegKey* key, int* status) {
  Hive hive;
  std::string path, error;
  if (!regtool::ParseKeyArg(arg, &hive, &path, &error)) {
    *status = Fail(kExitUsage, error);
    return false;
  }
  long rc = platform::RegOpenKey(hive, path, key);
  if (rc == kErrorSuccess) return true;
  *status =
      Fail(kExitFailed, rc == platform::kErrorFileNotFound ? "key not found: " + arg
                                                           : regtool::ErrorText(rc) + ": " + arg);
  return false;
}

int Export(const std::vector<std::string>& args) {
  if (args.size() > 1) return Usage();
  Hive hive;
  std::string path, error, text;
  if (!args.empty() && !regtool::ParseKeyArg(args[0], &hive, &path, &error)) {
    return Fail(kExitUsage, error);
  }
  long rc = regtool::ExportText(args.empty() ? nullptr : &hive, path, &text);
  if (rc == platform::kErrorFileNotFound) return Fail(kExitFailed, "key not found: " + args[0]);
  if (rc != kErrorSuccess) return Fail(kExitFailed, regtool::ErrorText(rc));
  std::cout << text;
  return 0;
}

int Import(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage();
  std::ostringstream text;
  if (args[0] == "-") {
    text << std::cin.rdbuf();
  } else {
    std::ifstream file(args[0], std::ios::binary);
    if (!file) return Fail(kExitFailed, "cannot read " + args[0]);
    text << file.rdbuf();
  }
  std::vector<regtool::RegFileKey> keys;
  std::string error;
  if (!regtool::ParseRegFile(text.str(), &keys, &error)) {
    return Fail(kExitUsage, args[0] + ": " + error + " (nothing imported)");
  }
  if (regtool::ApplyRegFile(keys, &error) != kErrorSuccess) {
    return Fail(kExitFailed, args[0] + ": " + error);
  }
  return 0;
}

int Query(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) return Usage();
  RegKey key;
  int status = 0;
  if (!OpenKeyArg(args[0], &key, &status)) return status;
  std::string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (args.size() == 2) {
    long rc = platform::RegQueryBytes(key, args[1], &type, &data);
    if (rc == platform::kErrorFileNotFound) return Fail(kExitFailed, "value not found: " + args[1]);
    if (rc != kErrorSuccess) return Fail(kExitFailed, regtool::ErrorText(rc));
    std::cout << regtool::FormatQueryLine(args[1], type, data) << "\n";
    return 0;
  }
  long rc = kErrorSuccess;
  for (uint32_t i = 0; (rc = platform::RegEnumValue(key, i, &name, &type, &data)) == 0; ++i) {
    std::cout << regtool::FormatQueryLine(name, type, data) << "\n";
  }
  return rc == platform::kErrorNoMoreItems ? 0 : Fail(kExitFailed, regtool::ErrorText(rc));
}

int Set(const std::vector<std::string>& args) {
  if (args.size() != 4) return Usage();
  Hive hive;
  std::string path, error;
  if (!regtool::ParseKeyArg(args[0], &hive, &path, &error)) return Fail(kExitUsage, error);
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (!regtool::ParseSetData(args[2], args[3], &type, &data, &error)) {
    return Fail(kExitUsage, error);
  }
  RegKey key;
  long rc = platform::RegCreateKey(hive, path, &key);
  if (rc == kErrorSuccess) {
    rc = platform::RegSetValue(key, args[1], type, data.data(), static_cast<uint32_t>(data.size()));
  }
  return rc == kErrorSuccess ? 0 : Fail(kExitFailed, regtool::ErrorText(rc) + ": " + args[0]);
}

int Delete(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) return Usage();
  RegKey key;
  int status = 0;
  if (!OpenKeyArg(args[0], &key, &status)) return status;
  long rc =
      args.size() == 2 ? platform::RegDeleteValue(key, args[1]) : platform::RegDeleteKey(key, "");
  if (rc == kErrorSuccess) return 0;
  if (args.size() == 2 && rc == platform::kErrorFileNotFound) {
    return Fail(kExitFailed, "value not found: " + args[1]);
  }
  // A hive root is refused with access denied.
  return Fail(kExitFailed, "cannot delete " + args[0] + ": " + regtool::ErrorText(rc));
}

int RunCommand(const std::string& command, const std::vector<std::string>& args) {
  if (command == "export") return Export(args);
  if (command == "import") return Import(args);
  if (command == "query") return Query(args);
  if (command == "set") return Set(args);
  if (command == "delete") return Delete(args);
  return Fail(kExitUsage, std::string("unknown command ") + command + "\n" + kUsage);
}

}  // namespace

int main(int argc, char** argv) {
  // Options come before the command: what follows it (a value's data) may start with "-".
  int first = 1;
  while (first < argc) {
    const std::string arg = argv[first];
    if (arg.size() < 2 || arg[0] != '-') break;
    ++first;
    if (arg == "--") break;
    if (arg == "--registry" && first < argc) ++first;
  }
  platform::ParsedOptions options;
  std::string error;
  platform::ParseOutcome outcome = platform::ParseCommandLine(
      std::vector<std::string>(argv + 1, argv + first), kOptions, &options, &error);
  const bool reload = options.Has("reload");
  if (outcome == platform::ParseOutcome::kOk && first == argc && !reload) {
    outcome = platform::ParseOutcome::kError;
    error = "a command or --reload is needed";
  }
  if (int code =
          platform::FinishStandardOptions(outcome, "wayfarer-reg", WAYFARER_VERSION, kUsage, error);
      code >= 0) {
    return code;
  }
  if (options.Has("registry")) setenv("WAYFARER_REGISTRY", options.Value("registry").c_str(), 1);
  if (std::string why; !regtool::BecomeStoreOwner(platform::StorePath(), &why)) {
    return Fail(kExitFailed, why);
  }
  if (first < argc) {
    const int status =
        RunCommand(argv[first], std::vector<std::string>(argv + first + 1, argv + argc));
    if (status != 0 || !reload) return status;
  }
  return AskReload();
}
