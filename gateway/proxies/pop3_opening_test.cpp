// POP3's reading of the client's first line and of the server's greeting.
#include "gateway/proxies/pop3_opening.h"

#include <gtest/gtest.h>

namespace proxies {
namespace {

TEST(Pop3Opening, FirstLineGivesAccountAndDomainWhateverTheCommand) {
  std::string account;
  std::string domain;
  ASSERT_EQ(SplitPop3User("USER alice<pop.example.com>\r\n", &account, &domain), 0);
  EXPECT_EQ(account, "alice");
  EXPECT_EQ(domain, "pop.example.com");
  ASSERT_EQ(SplitPop3User("APOP bob<10.0.0.3:995> digest\r\n", &account, &domain), 0);
  EXPECT_EQ(account, "bob");
  EXPECT_EQ(domain, "10.0.0.3:995");
}

TEST(Pop3Opening, FirstLineWithAPartMissingIsAFormatViolation) {
  std::string account;
  std::string domain;
  for (const char* line :
       {"USER alice\r\n", "USER alice<host\r\n", "USER <host>\r\n", "USER alice<>\r\n",
        "USERalice<host>\r\n", " alice<host>\r\n", "USER alice>host<\r\n"}) {
    EXPECT_EQ(SplitPop3User(line, &account, &domain), -1) << line;
  }
}

TEST(Pop3Opening, WhatMailClientsAskFirstIsAnsweredAndTheRestIsTheLogInLine) {
  for (const char* line : {"CAPA\r\n", "capa\r\n", "CAPA \r\n", "CAPA\n"}) {
    EXPECT_STREQ(Pop3PreLoginAnswer(line), "+OK\r\nUSER\r\n.\r\n") << line;
  }
  for (const char* line : {"AUTH\r\n", "AUTH PLAIN\r\n", "stls\r\n"}) {
    EXPECT_STREQ(Pop3PreLoginAnswer(line), "-ERR not supported\r\n") << line;
  }
  for (const char* line : {"USER a<b>\r\n", "CAPABILITY\r\n", "QUIT\r\n", "", "AUTHX\r\n"}) {
    EXPECT_EQ(Pop3PreLoginAnswer(line), nullptr) << line;
  }
}

TEST(Pop3Opening, ServerGreetingMustStartWithTheWordOk) {
  EXPECT_TRUE(IsPop3Ready("+OK POP3 server ready <1.2@host>\r\n"));
  EXPECT_TRUE(IsPop3Ready("+OK\r\n"));
  EXPECT_FALSE(IsPop3Ready("+OKAY ready\r\n"));
  EXPECT_FALSE(IsPop3Ready("-ERR go away\r\n"));
  EXPECT_FALSE(IsPop3Ready("220 smtp.example.com ESMTP\r\n"));
}

}  // namespace
}  // namespace proxies
