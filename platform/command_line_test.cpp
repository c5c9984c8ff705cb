// Option parsing: values in both spellings, help and version, and the errors that must end a
// program with a usage message instead of starting it.
#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

const std::vector<OptionRule> kOptions = {
    {"headless", "", "no display"},
    {"registry", "FILE", "settings store"},
};

ParseOutcome Parse(const std::vector<std::string>& args, ParsedOptions* parsed,
                   std::string* error) {
  return ParseCommandLine(args, kOptions, parsed, error);
}

TEST(CommandLine, TakesFlagsValuesAndOperands) {
  ParsedOptions parsed;
  std::string error;
  ASSERT_EQ(Parse({"--registry", "a.db", "set", "--headless", "--registry=b.db", "-", "--",
                   "--not-an-option"},
                  &parsed, &error),
            ParseOutcome::kOk);
  EXPECT_TRUE(parsed.Has("headless"));
  EXPECT_EQ(parsed.Value("registry"), "b.db");  // the last one counts
  EXPECT_EQ(parsed.operands, (std::vector<std::string>{"set", "-", "--not-an-option"}));
  EXPECT_FALSE(parsed.Has("help"));
}

TEST(CommandLine, HelpAndVersionWinOverLaterArguments) {
  ParsedOptions parsed;
  std::string error;
  EXPECT_EQ(Parse({"--headless", "-h", "--bogus"}, &parsed, &error), ParseOutcome::kHelp);
  EXPECT_EQ(Parse({"--version", "--bogus"}, &parsed, &error), ParseOutcome::kVersion);
  // After "--" they are operands.
  EXPECT_EQ(Parse({"--", "--help"}, &parsed, &error), ParseOutcome::kOk);
}

TEST(CommandLine, RefusesWhatItDoesNotKnow) {
  ParsedOptions parsed;
  std::string error;
  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{"--tray"}, "unknown option --tray"},
      {{"-x"}, "unknown option -x"},
      {{"--headless=1"}, "option --headless takes no value"},
      {{"--registry"}, "option --registry needs FILE"},
      {{"--registry="}, "option --registry needs a non-empty FILE"},
      {{"--reg", "x"}, "unknown option --reg"},  // no abbreviations
  };
  for (const auto& [args, why] : bad) {
    EXPECT_EQ(Parse(args, &parsed, &error), ParseOutcome::kError) << args[0];
    EXPECT_EQ(error, why);
  }
}

TEST(CommandLine, UsageListsEveryOptionAndExitStatusFollowsTheOutcome) {
  const std::string usage = UsageText("prog", "[OPTIONS]", kOptions);
  EXPECT_EQ(usage.rfind("usage: prog [OPTIONS]\n", 0), 0u);
  for (const char* name : {"--headless", "--registry FILE", "--help", "--version"}) {
    EXPECT_NE(usage.find(name), std::string::npos) << name;
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(FinishStandardOptions(ParseOutcome::kVersion, "prog", "2.0", usage, ""), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "prog 2.0\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(FinishStandardOptions(ParseOutcome::kError, "prog", "2.0", usage, "bad"), kExitUsage);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "prog: bad\n" + usage);
  EXPECT_EQ(FinishStandardOptions(ParseOutcome::kOk, "prog", "2.0", usage, ""), -1);
}

}  // namespace
}  // namespace platform
