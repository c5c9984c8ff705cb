// Tests of wayfarer-reg's commands: export/import round trips through a private store, the
// data forms of `set`, and the built binary driven end to end (exit codes, messages, and
// that a refused command changes nothing).
#include "tools/reg_commands.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/testing/temp_store.h"

namespace regtool {
namespace {

using platform::Hive;
using platform::kErrorSuccess;
using platform::RegKey;

void Populate() {
  RegKey key;
  ASSERT_EQ(platform::RegCreateKey(Hive::kLocalMachine,
                                   "Software\\Wayfarer Computer Products Ltd.\\Gateway", &key),
            kErrorSuccess);
  ASSERT_EQ(platform::RegSetString(key, "", "default"), kErrorSuccess);
  ASSERT_EQ(platform::RegSetString(key, "Path \"quoted\"", "C:\\dir\\"), kErrorSuccess);
  ASSERT_EQ(platform::RegSetDword(key, "Port", 8080), kErrorSuccess);
  std::vector<uint8_t> blob(200);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(platform::RegSetValue(key, "Blob", platform::kRegBinary, blob.data(), 200),
            kErrorSuccess);
  ASSERT_EQ(platform::RegSetValue(key, "Odd", 11, "\0\1", 2), kErrorSuccess);
  ASSERT_EQ(platform::RegSetValue(key, "Lines", platform::kRegSz, "a\r\nb", 5), kErrorSuccess);
  ASSERT_EQ(platform::RegCreateKey(Hive::kLocalMachine, "Software\\empty", &key), kErrorSuccess);
  ASSERT_EQ(platform::RegCreateKey(Hive::kClassesRoot, ".txt", &key), kErrorSuccess);
  ASSERT_EQ(platform::RegSetString(key, "", "txtfile"), kErrorSuccess);
}

std::string ExportAll() {
  std::string text;
  EXPECT_EQ(ExportText(nullptr, "", &text), kErrorSuccess);
  return text;
}

TEST(RegCommands, ExportThenImportGivesTheSameStore) {
  std::string exported;
  {
    platform::testing::TempStore store;
    Populate();
    exported = ExportAll();
  }
  EXPECT_NE(exported.find("[HKEY_LOCAL_MACHINE\\Software\\Wayfarer Computer Products Ltd.\\"
                          "Gateway]\n@=\"default\"\n"),
            std::string::npos)
      << exported;
  EXPECT_NE(exported.find("\"Path \\\"quoted\\\"\"=\"C:\\\\dir\\\\\"\n"), std::string::npos);
  EXPECT_NE(exported.find("\"Port\"=dword:00001f90\n"), std::string::npos);

  platform::testing::TempStore other;
  std::vector<RegFileKey> keys;
  std::string error;
  ASSERT_TRUE(ParseRegFile(exported, &keys, &error)) << error;
  ASSERT_EQ(ApplyRegFile(keys, &error), kErrorSuccess) << error;
  EXPECT_EQ(ExportAll(), exported);
}

TEST(RegCommands, ExportOfOneKeyUsesStoredSpelling) {
  platform::testing::TempStore store;
  Populate();
  std::string text;
  ASSERT_EQ(ExportText(nullptr, "", &text), kErrorSuccess);
  Hive hive = Hive::kClassesRoot;
  ASSERT_EQ(ExportText(&hive, ".TXT", &text), kErrorSuccess);
  EXPECT_EQ(text, "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\.txt]\n@=\"txtfile\"\n\n");
  hive = Hive::kCurrentUser;
  EXPECT_EQ(ExportText(&hive, "Missing", &text), platform::kErrorFileNotFound);
}

TEST(RegCommands, ImportDeletesKeysAndValues) {
  platform::testing::TempStore store;
  Populate();
  const char* text =
      "REGEDIT4\n\n"
      "[-HKEY_LOCAL_MACHINE\\Software\\Wayfarer Computer Products Ltd.]\n\n"
      "[HKEY_CLASSES_ROOT\\.txt]\n@=-\n\"Never\"=-\n\n"
      "[-HKEY_CURRENT_USER\\Not\\There]\n";
  std::vector<RegFileKey> keys;
  std::string error;
  ASSERT_TRUE(ParseRegFile(text, &keys, &error)) << error;
  ASSERT_EQ(ApplyRegFile(keys, &error), kErrorSuccess) << error;
  EXPECT_EQ(ExportAll(),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE]\n\n[HKEY_LOCAL_MACHINE\\Software]\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\empty]\n\n[HKEY_CURRENT_USER]\n\n"
            "[HKEY_CLASSES_ROOT]\n\n[HKEY_CLASSES_ROOT\\.txt]\n\n");
}

TEST(RegCommands, SetDataForms) {
  const struct {
    const char* type;
    const char* text;
    bool ok;
    std::vector<uint8_t> data;
  } cases[] = {
      {"REG_SZ", "hi", true, {'h', 'i', 0}},
      {"REG_DWORD", "10", true, {10, 0, 0, 0}},
      {"REG_DWORD", "0x0A", true, {10, 0, 0, 0}},
      {"REG_DWORD", "4294967295", true, {0xff, 0xff, 0xff, 0xff}},
      {"REG_DWORD", "4294967296", false, {}},
      {"REG_DWORD", "0x100000000", false, {}},
      {"REG_DWORD", "-1", false, {}},
      {"REG_DWORD", "12a", false, {}},
      {"REG_BINARY", "01,02", true, {1, 2}},
      {"REG_BINARY", "0102", true, {1, 2}},
      {"REG_BINARY", "012", false, {}},
      {"REG_QWORD", "1", false, {}},
  };
  for (const auto& c : cases) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    std::string error;
    EXPECT_EQ(ParseSetData(c.type, c.text, &type, &data, &error), c.ok) << c.type << " " << c.text;
    if (c.ok) {
      EXPECT_EQ(data, c.data) << c.type << " " << c.text;
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

// Runs the built wayfarer-reg on the test's store; stdin comes from input.
struct ToolResult {
  int status;
  std::string out;
  std::string err;
};

ToolResult RunTool(const platform::testing::TempStore& store, const std::string& args,
                   const std::string& input = "") {
  const std::string base = store.dir() + "/run";
  std::ofstream(base + ".in") << input;
  std::string command = "WAYFARER_REGISTRY='" + store.path() + "' '" WAYFARER_REG_BINARY "' " +
                        args + " <'" + base + ".in' >'" + base + ".out' 2>'" + base + ".err'";
  int raw = std::system(command.c_str());
  auto slurp = [](const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
  };
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(base + ".out"), slurp(base + ".err")};
}

TEST(WayfarerReg, CommandsEndToEnd) {
  platform::testing::TempStore store;
  EXPECT_EQ(RunTool(store, R"(set 'HKLM\Software\W' Port REG_DWORD 0x1f90)").status, 0);
  EXPECT_EQ(RunTool(store, R"(set 'HKLM\Software\W' Name REG_SZ 'a b')").status, 0);
  ToolResult query = RunTool(store, R"(query 'HKLM\software\w')");
  EXPECT_EQ(query.status, 0);
  EXPECT_EQ(query.out, "Name\tREG_SZ\ta b\nPort\tREG_DWORD\t8080 (0x1f90)\n");

  ToolResult missing = RunTool(store, R"(query 'HKLM\Software\Nope')");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "wayfarer-reg: key not found: HKLM\\Software\\Nope\n");
  EXPECT_EQ(RunTool(store, R"(query 'HKLM\Software\W' Nope)").status, 1);
  EXPECT_EQ(RunTool(store, R"(query 'HKEY_NOWHERE\W')").status, 2);
  EXPECT_EQ(RunTool(store, "frobnicate").status, 2);
  EXPECT_EQ(RunTool(store, R"(set 'HKLM\Software\W')").status, 2);

  // Refused input changes nothing.
  const std::string before = RunTool(store, "export").out;
  ToolResult bad_set = RunTool(store, R"(set 'HKLM\Software\New' Port REG_DWORD 99999999999)");
  EXPECT_EQ(bad_set.status, 2);
  EXPECT_NE(bad_set.err.find("99999999999"), std::string::npos);
  ToolResult bad_file =
      RunTool(store, "import -", "REGEDIT4\n\n[HKLM\\Software\\New]\n\"A\"=\"1\"\n\"B\"=dword:x\n");
  EXPECT_EQ(bad_file.status, 2);
  EXPECT_NE(bad_file.err.find("line 5: bad dword"), std::string::npos) << bad_file.err;
  EXPECT_EQ(RunTool(store, "export").out, before);

  ToolResult good_file =
      RunTool(store, "import -", "REGEDIT4\r\n\r\n[HKLM\\Software\\W]\r\n\"Port\"=-\r\n");
  EXPECT_EQ(good_file.status, 0) << good_file.err;
  EXPECT_EQ(RunTool(store, R"(export 'HKLM\Software\W')").out,
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\W]\n\"Name\"=\"a b\"\n\n");
  EXPECT_EQ(RunTool(store, R"(delete 'HKLM\Software\W' Name)").status, 0);
  EXPECT_EQ(RunTool(store, R"(delete 'HKLM\Software')").status, 0);
  EXPECT_EQ(RunTool(store, R"(delete 'HKLM\Software')").status, 1);
  EXPECT_EQ(RunTool(store, "delete HKLM").status, 1);
}

}  // namespace
}  // namespace regtool
