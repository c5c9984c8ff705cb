// Tests of the REGEDIT4 parser and formatter: escapes, line endings, continued hex lists,
// the refusal of malformed files with their line number, and the forms of each value type.
#include "tools/regedit_text.h"

#include <gtest/gtest.h>

#include <sstream>

namespace regtool {
namespace {

using platform::Hive;

TEST(RegeditParse, ReadsKeysValuesEscapesAndContinuations) {
  const std::string text =
      "\xEF\xBB\xBFREGEDIT4\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Wayfarer Computer Products Ltd.]\r\n"
      "@=\"default\"\r\n"
      "\"Pa\\\"th\"=\"C:\\\\dir \\\"x\\\"\"\r\n"
      "\"Port\"=dword:0000000A\r\n"
      "\"Multi\"=hex(7):61,00,\\\r\n"
      "  62,00,00\r\n"
      "\"Gone\"=-\r\n"
      "\r\n"
      "[-HKCU\\Old]\r\n";
  std::vector<RegFileKey> keys;
  std::string error;
  ASSERT_TRUE(ParseRegFile(text, &keys, &error)) << error;
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].hive, Hive::kLocalMachine);
  EXPECT_EQ(keys[0].path, "Software\\Wayfarer Computer Products Ltd.");
  const std::vector<RegFileValue>& values = keys[0].values;
  ASSERT_EQ(values.size(), 5u);
  EXPECT_EQ(values[0].name, "");
  EXPECT_EQ(values[0].data, (std::vector<uint8_t>{'d', 'e', 'f', 'a', 'u', 'l', 't', 0}));
  EXPECT_EQ(values[1].name, "Pa\"th");
  EXPECT_EQ(std::string(values[1].data.begin(), values[1].data.end()),
            std::string("C:\\dir \"x\"\0", 11));
  EXPECT_EQ(values[2].type, platform::kRegDword);
  EXPECT_EQ(values[2].data, (std::vector<uint8_t>{10, 0, 0, 0}));
  EXPECT_EQ(values[3].type, 7u);
  EXPECT_EQ(values[3].data, (std::vector<uint8_t>{0x61, 0, 0x62, 0, 0}));
  EXPECT_TRUE(values[4].remove);
  EXPECT_EQ(keys[1].hive, Hive::kCurrentUser);
  EXPECT_TRUE(keys[1].remove);
  EXPECT_EQ(keys[1].line, 12);
}

TEST(RegeditParse, RefusesMalformedFilesNamingTheLine) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "line 1: missing REGEDIT4 header"},
      {"\nREGEDIT5\n", "line 2: missing REGEDIT4 header"},
      {"REGEDIT4\n\n[HKEY_NOWHERE\\A]\n", "line 3: unknown hive: HKEY_NOWHERE"},
      {"REGEDIT4\n[HKLM\\A\n", "line 2: key line without closing ]"},
      {"REGEDIT4\n[HKLM\\A\\\\B]\n", "line 2: bad key path"},
      {"REGEDIT4\n[-HKLM]\n", "line 2: cannot delete a hive root"},
      {"REGEDIT4\n\"x\"=\"1\"\n", "line 2: value before any [key]"},
      {"REGEDIT4\n[-HKLM\\A]\n\"x\"=\"1\"\n", "line 3: value under a deleted key"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\"=dword:100000000\n", "line 3: dword out of range"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\"=dword:1g\n", "line 3: bad dword"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\"=dword:\n", "line 3: bad dword"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\"=hex:01,0g\n", "line 3: bad hex"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\"=hex:01,\n", "line 3: bad hex"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\"=hex:123\n", "line 3: bad hex"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\"=hex(zz):01\n", "line 3: bad hex type"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\"=hex:01,\\", "line 3: hex list continues past the end"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\"=hex:01,\\\n", "line 3: bad hex"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\"=\"open\n", "line 3: bad string"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\"=\"a\\q\"\n", "line 3: bad string"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\"=\"a\" junk\n", "line 3: bad string"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\"=12\n", "line 3: bad value"},
      {"REGEDIT4\n[HKLM\\A]\n\"x\" \"y\"\n", "line 3: expected ="},
      {"REGEDIT4\n[HKLM\\A]\nx=\"1\"\n", "line 3: bad value name"},
      {"REGEDIT4\n[HKLM\\A]\n\"a\"=hex:01,\\\n 02\n\"b\"=hex:zz\n", "line 5: bad hex"},
  };
  for (const auto& c : cases) {
    std::vector<RegFileKey> keys;
    std::string error;
    EXPECT_FALSE(ParseRegFile(c.text, &keys, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

TEST(RegeditFormat, EachTypeHasItsForm) {
  const std::vector<uint8_t> text = {'a', '\\', '"', 'b', 0};
  const struct {
    const char* name;
    uint32_t type;
    std::vector<uint8_t> data;
    const char* line;
  } cases[] = {
      {"N\\\"", platform::kRegSz, text, R"("N\\\""="a\\\"b")"},
      {"", platform::kRegSz, {0}, R"(@="")"},
      {"D", platform::kRegDword, {10, 0, 0, 0}, R"("D"=dword:0000000a)"},
      {"D", platform::kRegDword, {0xff, 0xff, 0xff, 0xff}, R"("D"=dword:ffffffff)"},
      {"B", platform::kRegBinary, {0x01, 0xab}, R"("B"=hex:01,ab)"},
      {"B", platform::kRegBinary, {}, R"("B"=hex:)"},
      {"M", 7, {0x61, 0}, R"("M"=hex(7):61,00)"},
      {"T", 0x1a, {1}, R"("T"=hex(1a):01)"},
      // Forms that the text syntax cannot carry exactly fall back to hex(N).
      {"S", platform::kRegSz, {'a'}, R"("S"=hex(1):61)"},
      {"S", platform::kRegSz, {'a', '\n', 0}, R"("S"=hex(1):61,0a,00)"},
      {"S", platform::kRegSz, {'a', 0, 'b', 0}, R"("S"=hex(1):61,00,62,00)"},
      {"D", platform::kRegDword, {1, 2, 3}, R"("D"=hex(4):01,02,03)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatValueLine(c.name, c.type, c.data), c.line);
  }
  EXPECT_EQ(FormatKeyLine(Hive::kClassesRoot, ""), "[HKEY_CLASSES_ROOT]");
  EXPECT_EQ(FormatKeyLine(Hive::kCurrentUser, "A\\B"), "[HKEY_CURRENT_USER\\A\\B]");
}

TEST(RegeditFormat, LongHexListWrapsAndParsesBack) {
  std::vector<uint8_t> data(300);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  std::string line = FormatValueLine("Blob", platform::kRegBinary, data);
  std::istringstream lines(line);
  int count = 0;
  for (std::string physical; std::getline(lines, physical); ++count) {
    EXPECT_LE(physical.size(), 80u) << physical;
  }
  EXPECT_GT(count, 3);
  std::vector<RegFileKey> keys;
  std::string error;
  ASSERT_TRUE(ParseRegFile("REGEDIT4\n[HKLM\\X]\n" + line + "\n", &keys, &error)) << error;
  ASSERT_EQ(keys.at(0).values.size(), 1u);
  EXPECT_EQ(keys[0].values[0].data, data);
}

TEST(RegeditHex, ByteListForms) {
  const struct {
    const char* text;
    bool packed;
    bool ok;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"01,02,ff", false, true, {1, 2, 0xff}},
      {"1, 2 ,A", false, true, {1, 2, 0xa}},
      {"0102ff", true, true, {1, 2, 0xff}},
      {"0102ff", false, false, {}},
      {"012", true, false, {}},
      {"01,,02", false, false, {}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(ParseHexBytes(c.text, c.packed, &bytes), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(bytes, c.bytes) << c.text;
    }
  }
}

}  // namespace
}  // namespace regtool
