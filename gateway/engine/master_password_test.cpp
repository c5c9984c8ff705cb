// The stored password form and the master password's prompt and change logic.
#include "gateway/engine/master_password.h"

#include <gtest/gtest.h>

#include "gateway/engine/password_scramble.h"
#include "gateway/engine/settings_records.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace engine {
namespace {

using platform::MessageIcon;
using platform::testing::MessageRecorder;

std::string Scrambled(const std::string& plain, uint32_t seed) {
  std::string text = plain;
  EXPECT_EQ(ScramblePasswordSeeded(1, &text, seed), 0);
  return text;
}

TEST(PasswordScramble, KnownStoredFormsDependOnTheSeed) {
  EXPECT_EQ(Scrambled("secret", 12345), std::string("\x1a\x53\x44\x41\x51\x41\x20\x51"));
  EXPECT_EQ(Scrambled("secret", 1), std::string("\x1a\x5a\x4f\x48\x5e\x48\x29\x5a"));
}

TEST(PasswordScramble, EveryLengthReadsBackAndHasTheStoredLayout) {
  const std::string alphabet =
      "Pa55w0rd!~ \x7f\x80\xff"
      "abcdefghijklmnopqrstuvwxyz";
  for (size_t n = 1; n <= kMaxScrambledPassword; ++n) {
    for (uint32_t seed : {0u, 7u, 1700000000u}) {
      const std::string plain = alphabet.substr(0, n);
      std::string text = Scrambled(plain, seed);
      ASSERT_EQ(text.size(), n + 2);
      EXPECT_EQ(static_cast<unsigned char>(text[0]), n + 20);
      const int key = static_cast<unsigned char>(text[n]);
      EXPECT_TRUE(key >= 1 && key <= 63);
      EXPECT_EQ(text.find('\0'), std::string::npos);
      ScramblePassword(-1, &text);
      EXPECT_EQ(text, plain);
    }
  }
}

TEST(PasswordScramble, EmptyMalformedAndUnstorableTextsBecomeEmpty) {
  std::string text;
  ScramblePassword(1, &text);
  EXPECT_EQ(text, "");
  for (std::string bad : {std::string("\x1a\x53\x44"), std::string("\x05xyz"), std::string("\xff"),
                          Scrambled("secret", 1) + "x"}) {
    EXPECT_EQ(ScramblePasswordSeeded(-1, &bad, 0), -1);
    EXPECT_EQ(bad, "");
  }
  // Every key turns one of these characters into a zero byte: no stored form exists.
  std::string unstorable =
      "\x08\x0a\x16\x33\x39\x29\x2f\x42\x46\x0c\x78\x3f\x78\x78\x78\x16\x11\x29\x15\x78\x78\x13"
      "\x78\x2f\x3a\x44\x33\x41\x06\x25\x23";
  EXPECT_EQ(ScramblePasswordSeeded(1, &unstorable, 99), -1);
  EXPECT_EQ(unstorable, "");
}

class MasterPassword : public ::testing::Test {
 protected:
  platform::testing::TempStore store_;
  MessageRecorder messages_;
};

TEST_F(MasterPassword, NoStoredValueMeansNoPromptAndAnEmptyOldPassword) {
  EXPECT_FALSE(MasterPasswordSet());
  EXPECT_EQ(ChangeMasterPassword("", "open sesame", "open sesame"), 0);
  EXPECT_TRUE(MasterPasswordSet());
  std::string stored;
  ASSERT_EQ(ReadMasterPassword(&stored), 0);
  EXPECT_EQ(stored.size(), 13u);
  EXPECT_EQ(CheckMasterPassword("open sesame"), 0);
  EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(MasterPassword, LongestPasswordSurvivesTheStore) {
  const std::string longest = "0123456789abcdefghijKLMNOPQRST!";
  ASSERT_EQ(longest.size(), 31u);
  ASSERT_EQ(ChangeMasterPassword("", longest, longest), 0);
  EXPECT_EQ(CheckMasterPassword(longest), 0);
  EXPECT_EQ(CheckMasterPassword(longest + "extra typed"), 0);
}

TEST_F(MasterPassword, WrongEntriesAreToldApartAndChangeNothing) {
  ASSERT_EQ(ChangeMasterPassword("", "Secret", "Secret"), 0);
  EXPECT_EQ(CheckMasterPassword("secret"), -1);
  EXPECT_EQ(ChangeMasterPassword("wrong", "new", "new"), -1);
  EXPECT_EQ(ChangeMasterPassword("Secret", "new", "New"), -1);
  EXPECT_EQ(CheckMasterPassword("Secret"), 0);
  auto shown = messages_.messages();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].caption, "Incorrect Password");
  EXPECT_EQ(shown[0].text,
            "E-10032: The password entered is incorrect.\nPlease re-enter the password.");
  EXPECT_EQ(shown[1].caption, "Old Password Mismatch");
  EXPECT_EQ(shown[1].text, "E-10031: Old password does not match.\nPlease re-enter old password.");
  EXPECT_EQ(shown[2].caption, "New Passwords Mismatch");
  EXPECT_EQ(shown[2].text, "E-10030: New passwords do not match.\nPlease re-enter new passwords.");
  for (const auto& m : shown) EXPECT_EQ(m.icon, MessageIcon::kExclamation);
}

TEST_F(MasterPassword, EmptyNewPasswordRemovesTheProtection) {
  ASSERT_EQ(ChangeMasterPassword("", "Secret", "Secret"), 0);
  ASSERT_EQ(ChangeMasterPassword("Secret", "", ""), 0);
  EXPECT_FALSE(MasterPasswordSet());
  EXPECT_EQ(CheckMasterPassword(""), 0);
}

TEST_F(MasterPassword, AStoredValueThatDoesNotUnscrambleIsSetAndMatchesNothing) {
  // Cut or damaged stored forms: a length byte that disagrees with the value, garbage text.
  for (const std::string& stored : {Scrambled("secret", 5).substr(0, 7), std::string("plain")}) {
    SCOPED_TRACE(stored);
    ASSERT_EQ(WriteMasterPassword(stored), 0);
    EXPECT_TRUE(MasterPasswordSet());
    testing::internal::CaptureStderr();
    EXPECT_EQ(CheckMasterPassword(""), -1);
    EXPECT_EQ(CheckMasterPassword("secret"), -1);
    EXPECT_EQ(ChangeMasterPassword("", "new", "new"), -1);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("wayfarer-reg delete "), std::string::npos) << log;
    EXPECT_NE(log.find("\\License' MasterPassword"), std::string::npos) << log;
  }
  auto shown = messages_.messages();
  ASSERT_EQ(shown.size(), 6u);
  EXPECT_EQ(shown[0].caption, "Incorrect Password");
  EXPECT_EQ(shown[2].caption, "Old Password Mismatch");
}

TEST(DialCredentials, ALongestPasswordIsReadBackWhole) {
  platform::testing::TempStore store;
  const std::string longest = "0123456789abcdefghijKLMNOPQRST!";
  const std::string stored = Scrambled(longest, 77);
  ASSERT_EQ(stored.size(), 33u);
  ASSERT_EQ(SaveProfileCredentials("ISP", "user", stored, "dom"), 0);
  std::string name, password, domain;
  ASSERT_EQ(LoadProfileCredentials("ISP", &name, &password, &domain), 0);
  EXPECT_EQ(password, stored);
  ASSERT_EQ(ScramblePasswordSeeded(-1, &password, 0), 0);
  EXPECT_EQ(password, longest);
}

}  // namespace
}  // namespace engine
