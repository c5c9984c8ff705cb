// The programs' command-line options: long options (--name, --name VALUE, --name=VALUE), -h
// for --help, "--" ending the options, and the usage text built from the same table. Plain
// functions on the calling thread; nothing is kept between calls.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct OptionRule {
  std::string name;        // without the leading "--"
  std::string value_name;  // empty: the option takes no value
  std::string help;
};

struct ParsedOptions {
  std::vector<std::pair<std::string, std::string>> given;  // name and value, in order
  std::vector<std::string> operands;                       // everything that is not an option
  [[nodiscard]] bool Has(const std::string& name) const;
  // The value of the last occurrence of name; "" when absent.
  [[nodiscard]] std::string Value(const std::string& name) const;
};

enum class ParseOutcome { kOk, kHelp, kVersion, kError };

// Parses args (without the program name). --help/-h and --version are always known and win
// over everything after them. kError with *error saying why. Operands may be mixed with
// options; an argument starting with "-" that is no known option is an error.
[[nodiscard]] ParseOutcome ParseCommandLine(const std::vector<std::string>& args,
                                            const std::vector<OptionRule>& rules,
                                            ParsedOptions* parsed, std::string* error);

// "usage: PROGRAM SYNOPSIS\n" followed by one line per option and --help, --version.
[[nodiscard]] std::string UsageText(const std::string& program, const std::string& synopsis,
                                    const std::vector<OptionRule>& rules);

// The outcome of a standard command line already handled: prints help or version on stdout,
// or the error and usage on stderr. Returns the exit status to end with (0 or 2), or -1 when
// the program goes on (kOk).
[[nodiscard]] int FinishStandardOptions(ParseOutcome outcome, const std::string& program,
                                        const std::string& version, const std::string& usage,
                                        const std::string& error);

// The whole command line of a program that takes only --help and --version: returns the exit
// status when it ends here, or -1 to go on. about is the line of text the help shows.
[[nodiscard]] int HandleBareCommandLine(int argc, char** argv, const std::string& program,
                                        const std::string& about);

// Command-line exit status of a usage error.
inline constexpr int kExitUsage = 2;

}  // namespace platform
