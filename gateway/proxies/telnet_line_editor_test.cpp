// Line entry at the Telnet prompt.
#include "gateway/proxies/telnet_line_editor.h"

#include <gtest/gtest.h>

namespace proxies {
namespace {

TEST(TelnetLineEditor, TypedCharactersWithBackspacesAreEditedAndEchoed) {
  TelnetLineEditor editor;
  bool ended = true;
  std::string echo;
  for (char c : std::string("hoxt")) echo += editor.Feed(std::string(1, c), &ended);
  EXPECT_FALSE(ended);
  echo += editor.Feed("\b\bst", &ended);
  echo += editor.Feed("\r\n", &ended);
  EXPECT_TRUE(ended);
  EXPECT_EQ(echo, "hoxt\b \b\b \bst\r\n");
  EXPECT_EQ(HostFromLine(editor.line()), "host");
}

TEST(TelnetLineEditor, DeleteEditsLikeBackspace) {
  TelnetLineEditor editor;
  bool ended = false;
  EXPECT_EQ(editor.Feed("\x7fhosx\x7ft\r", &ended), "hosx\b \bt\r");
  EXPECT_TRUE(ended);
  EXPECT_EQ(HostFromLine(editor.line()), "host");
}

TEST(TelnetLineEditor, BackspaceOnEmptyLineShowsNothingAndTheRestStillCounts) {
  TelnetLineEditor editor;
  bool ended = false;
  EXPECT_EQ(editor.Feed("\b", &ended), "");
  EXPECT_EQ(editor.line(), "");
  // The rest of the same read is still echoed and its carriage return still ends the line.
  EXPECT_EQ(editor.Feed("\b\bab\r", &ended), "ab\r");
  EXPECT_TRUE(ended);
  EXPECT_EQ(HostFromLine(editor.line()), "ab");
}

TEST(TelnetLineEditor, ReadStopsAtZeroByte) {
  TelnetLineEditor editor;
  bool ended = false;
  EXPECT_EQ(editor.Feed(std::string("ab\0\rcd", 6), &ended), "ab");
  EXPECT_FALSE(ended);
}

TEST(TelnetLineEditor, FullLineKeepsItsFirst511Characters) {
  TelnetLineEditor editor;
  bool ended = false;
  std::string echo = editor.Feed(std::string(600, 'a'), &ended);
  EXPECT_EQ(editor.line().size(), kTelnetBufferSize - 1);
  EXPECT_EQ(echo.size(), kTelnetBufferSize - 1);
  echo = editor.Feed("\r", &ended);
  EXPECT_TRUE(ended);
  EXPECT_EQ(echo, "");
  // A backspace makes room again.
  EXPECT_EQ(editor.Feed("\bz", &ended), "\b \bz");
}

TEST(TelnetLineEditor, HostKeepsOnlyCodes37To126) {
  EXPECT_EQ(HostFromLine("my host.example\r\n"), "myhost.example");
  EXPECT_EQ(HostFromLine("\xff\xfb\x01"
                         "10.0.0.1!\"#$\t"),
            "10.0.0.1");
  EXPECT_EQ(HostFromLine(" \r\n"), "");
}

TEST(TelnetLineEditor, ExitInAnyCase) {
  EXPECT_TRUE(IsExitLine("exit"));
  EXPECT_TRUE(IsExitLine("EXIT"));
  EXPECT_TRUE(IsExitLine("eXiT"));
  EXPECT_FALSE(IsExitLine("exits"));
  EXPECT_FALSE(IsExitLine("exi"));
}

}  // namespace
}  // namespace proxies
