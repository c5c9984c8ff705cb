// Wayfarer's options table and its checks.
#include "gateway/program_options.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/command_line.h"

namespace gateway {
namespace {

const std::vector<platform::OptionRule> kOptions = {
    {"headless", "", "run the engine alone, without a console"},
    {"dialog", "", "show the console as the main window"},
    {"tray", "", "open the console from a tray icon"},
    {"registry", "FILE", "use FILE as the settings store (as WAYFARER_REGISTRY does)"},
};

constexpr char kSynopsis[] =
    "[--headless | --dialog | --tray] [--registry FILE]\n"
    "Without a mode option the console opens from a tray icon when the desktop has a tray,\n"
    "as the main window when it has none, and the gateway runs headless without a display.\n"
    "SIGTERM and SIGINT stop it, SIGHUP re-reads the settings store.";

}  // namespace

int ParseProgramOptions(int argc, char** argv, ProgramOptions* options) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  platform::ParsedOptions parsed;
  std::string error;
  platform::ParseOutcome outcome = platform::ParseCommandLine(args, kOptions, &parsed, &error);
  if (outcome == platform::ParseOutcome::kOk) {
    int modes = 0;
    for (const auto& [name, value] : parsed.given) {
      if (name == "headless" || name == "dialog" || name == "tray") ++modes;
    }
    if (modes > 1) {
      outcome = platform::ParseOutcome::kError;
      error = "choose one of --headless, --dialog and --tray";
    } else if (!parsed.operands.empty()) {
      outcome = platform::ParseOutcome::kError;
      error = "unexpected argument " + parsed.operands.front();
    }
  }
  const std::string usage = platform::UsageText("Wayfarer", kSynopsis, kOptions);
  if (int code =
          platform::FinishStandardOptions(outcome, "Wayfarer", WAYFARER_VERSION, usage, error);
      code >= 0) {
    return code;
  }
  if (parsed.Has("registry")) setenv("WAYFARER_REGISTRY", parsed.Value("registry").c_str(), 1);
  if (parsed.Has("headless")) options->mode = ModeChoice::kHeadless;
  if (parsed.Has("dialog")) options->mode = ModeChoice::kDialog;
  if (parsed.Has("tray")) options->mode = ModeChoice::kTray;
  return -1;
}

}  // namespace gateway
