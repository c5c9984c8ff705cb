// Wayfarer's own command line: the mode to run in and the settings store to use. Parsed once
// by the program's main thread before any other thread starts.
#pragma once

namespace gateway {

enum class ModeChoice { kAutomatic, kHeadless, kDialog, kTray };

struct ProgramOptions {
  ModeChoice mode = ModeChoice::kAutomatic;
};

// Parses argv; --registry FILE is put into WAYFARER_REGISTRY. Returns the exit status when the
// program ends here (help, version: 0; a usage error: 2), or -1 to go on with *options.
[[nodiscard]] int ParseProgramOptions(int argc, char** argv, ProgramOptions* options);

}  // namespace gateway
