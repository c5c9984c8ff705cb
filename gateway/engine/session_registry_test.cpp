// The session registry's counts and notices, the kill message, and the host-name cache.
#include "gateway/engine/session_registry.h"

#include <gtest/gtest.h>

#include <vector>

#include "gateway/engine/dns_cache.h"
#include "gateway/engine/engine_messages.h"
#include "platform/message_queue.h"

namespace engine {
namespace {

// Drains the console target's notices as (message, count) pairs and frees them.
std::vector<std::pair<unsigned, int>> DrainNotices() {
  std::vector<std::pair<unsigned, int>> out;
  platform::Message msg;
  while (platform::PeekMessage(&msg, true)) {
    std::unique_ptr<SessionNotice> notice(reinterpret_cast<SessionNotice*>(msg.lparam));
    out.emplace_back(msg.message, notice->count);
    EXPECT_EQ(notice->client_address, "10.0.0.7");
    EXPECT_EQ(notice->service_name, "Intranet");
  }
  return out;
}

TEST(SessionRegistry, ThreeSessionsCountUpAndDownThenTheLineGoes) {
  platform::TargetId console = platform::CreateTarget();
  SetConsoleTarget(console);
  for (platform::ThreadId id : {11u, 12u, 13u}) {
    ASSERT_EQ(RegisterSessionNamed("10.0.0.7", "Intranet", 16, id, true), 0);
  }
  EXPECT_EQ(CountSessions(), 1) << "one line per (client, service) pair";
  for (platform::ThreadId id : {11u, 12u, 13u}) {
    ASSERT_EQ(RegisterSessionNamed("10.0.0.7", "Intranet", 16, id, false), 0);
  }
  EXPECT_EQ(CountSessions(), 0);
  std::vector<std::pair<unsigned, int>> expected = {
      {kMsgSessionAdded, 1}, {kMsgSessionAdded, 2}, {kMsgSessionAdded, 3},
      {kMsgSessionRemoved, 2}, {kMsgSessionRemoved, 1}, {kMsgSessionRemoved, 0}};
  EXPECT_EQ(DrainNotices(), expected);
  SetConsoleTarget(0);
  platform::DestroyTarget(console);
}

TEST(SessionRegistry, RemoveOfAnUnknownPairChangesAndPostsNothing) {
  platform::TargetId console = platform::CreateTarget();
  SetConsoleTarget(console);
  EXPECT_EQ(RegisterSessionNamed("10.0.0.7", "Intranet", 16, 5, false), -1);
  EXPECT_TRUE(DrainNotices().empty());
  SetConsoleTarget(0);
  platform::DestroyTarget(console);
}

TEST(SessionRegistry, TwoMappingsOfOneClientAreTwoLines) {
  ASSERT_EQ(RegisterSessionNamed("10.0.0.8", "Intranet", 16, 1, true), 0);
  ASSERT_EQ(RegisterSessionNamed("10.0.0.8", "Printer", 16, 2, true), 0);
  EXPECT_EQ(CountSessions(), 2);
  int lines = 0;
  ForEachSessionLine([&](const SessionLine& line) {
    EXPECT_EQ(line.client_address, "10.0.0.8");
    EXPECT_EQ(line.count, 1);
    ++lines;
  });
  EXPECT_EQ(lines, 2);
  RegisterSessionNamed("10.0.0.8", "Intranet", 16, 1, false);
  RegisterSessionNamed("10.0.0.8", "Printer", 16, 2, false);
}

TEST(SessionRegistry, KillReachesEveryRecordedThreadOfThePair) {
  platform::ThreadId self = platform::CurrentThreadId();
  ASSERT_EQ(RegisterSessionNamed("10.0.0.9", "FTP", 12, self, true), 0);
  ASSERT_EQ(RegisterSessionNamed("10.0.0.9", "Telnet", 13, 999999, true), 0);
  EXPECT_EQ(KillSession("10.0.0.9", "FTP"), 0);
  platform::Message msg;
  ASSERT_TRUE(platform::PeekMessage(&msg, true));
  EXPECT_EQ(msg.message, kMsgKillSession);
  EXPECT_EQ(msg.target, 0u);
  EXPECT_FALSE(platform::PeekMessage(&msg, true)) << "only the FTP pair was asked";
  RegisterSessionNamed("10.0.0.9", "FTP", 12, self, false);
  RegisterSessionNamed("10.0.0.9", "Telnet", 13, 999999, false);
}

TEST(DnsCache, AnswersUnderTheQueriedAndTheCanonicalName) {
  DnsCacheClear();
  DnsCacheStore("www.example.com", "Server.Example.COM", "192.0.2.10");
  std::string address, canonical;
  ASSERT_TRUE(DnsCacheLookup("www.example.com", &address, &canonical));
  EXPECT_EQ(address, "192.0.2.10");
  EXPECT_EQ(canonical, "server.example.com");
  ASSERT_TRUE(DnsCacheLookup("server.example.com", &address, &canonical));
  EXPECT_FALSE(DnsCacheLookup("WWW.EXAMPLE.COM", &address, &canonical))
      << "callers look up the lower-cased name";
  DnsCacheStore("long", std::string(400, 'a'), "192.0.2.11");
  ASSERT_TRUE(DnsCacheLookup("long", &address, &canonical));
  EXPECT_EQ(canonical.size(), 254u);
  EXPECT_EQ(address, "192.0.2.11");
  DnsCacheClear();
  EXPECT_FALSE(DnsCacheLookup("www.example.com", &address, &canonical));
}

}  // namespace
}  // namespace engine
