// Long-option parsing and the usage text.
#include "platform/command_line.h"

#include <cstdio>

namespace platform {
namespace {

const OptionRule* FindRule(const std::vector<OptionRule>& rules, const std::string& name) {
  for (const OptionRule& rule : rules) {
    if (rule.name == name) return &rule;
  }
  return nullptr;
}

}  // namespace

bool ParsedOptions::Has(const std::string& name) const {
  for (const auto& [given_name, value] : given) {
    if (given_name == name) return true;
  }
  return false;
}

std::string ParsedOptions::Value(const std::string& name) const {
  std::string last;
  for (const auto& [given_name, value] : given) {
    if (given_name == name) last = value;
  }
  return last;
}

ParseOutcome ParseCommandLine(const std::vector<std::string>& args,
                              const std::vector<OptionRule>& rules, ParsedOptions* parsed,
                              std::string* error) {
  *parsed = ParsedOptions{};
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
      parsed->operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") return ParseOutcome::kHelp;
    if (arg == "--version") return ParseOutcome::kVersion;
    if (arg.rfind("--", 0) != 0) {
      *error = "unknown option " + arg;
      return ParseOutcome::kError;
    }
    const size_t equals = arg.find('=');
    const std::string name =
        arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const OptionRule* rule = FindRule(rules, name);
    if (rule == nullptr) {
      *error = "unknown option --" + name;
      return ParseOutcome::kError;
    }
    if (rule->value_name.empty()) {
      if (equals != std::string::npos) {
        *error = "option --" + name + " takes no value";
        return ParseOutcome::kError;
      }
      parsed->given.emplace_back(name, "");
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      *error = "option --" + name + " needs " + rule->value_name;
      return ParseOutcome::kError;
    }
    if (value.empty()) {
      *error = "option --" + name + " needs a non-empty " + rule->value_name;
      return ParseOutcome::kError;
    }
    parsed->given.emplace_back(name, value);
  }
  return ParseOutcome::kOk;
}

std::string UsageText(const std::string& program, const std::string& synopsis,
                      const std::vector<OptionRule>& rules) {
  std::string text =
      "usage: " + program + (synopsis.rfind("\n", 0) == 0 ? "" : " ") + synopsis + "\n";
  std::vector<OptionRule> all = rules;
  all.push_back({"help", "", "print this help and exit"});
  all.push_back({"version", "", "print the version and exit"});
  for (const OptionRule& rule : all) {
    std::string left = "  --" + rule.name;
    if (!rule.value_name.empty()) left += " " + rule.value_name;
    if (left.size() < 24)
      left.resize(24, ' ');
    else
      left += "  ";
    text += left + rule.help + "\n";
  }
  return text;
}

int FinishStandardOptions(ParseOutcome outcome, const std::string& program,
                          const std::string& version, const std::string& usage,
                          const std::string& error) {
  switch (outcome) {
    case ParseOutcome::kOk:
      return -1;
    case ParseOutcome::kHelp:
      std::fputs(usage.c_str(), stdout);
      return 0;
    case ParseOutcome::kVersion:
      std::printf("%s %s\n", program.c_str(), version.c_str());
      return 0;
    case ParseOutcome::kError:
      break;
  }
  std::fprintf(stderr, "%s: %s\n%s", program.c_str(), error.c_str(), usage.c_str());
  return kExitUsage;
}

int HandleBareCommandLine(int argc, char** argv, const std::string& program,
                          const std::string& about) {
  ParsedOptions parsed;
  std::string error;
  ParseOutcome outcome =
      ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), {}, &parsed, &error);
  if (outcome == ParseOutcome::kOk && !parsed.operands.empty()) {
    outcome = ParseOutcome::kError;
    error = "unexpected argument " + parsed.operands.front();
  }
  return FinishStandardOptions(outcome, program, WAYFARER_VERSION,
                               UsageText(program, "\n" + about, {}), error);
}

}  // namespace platform
