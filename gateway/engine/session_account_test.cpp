// A session's access record: bytes counted on the sockets named as the client's only, a record
// per request on a connection that carries several, the first ending noted standing.
#include "gateway/engine/session_account.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gateway/engine/access_log.h"
#include "platform/byte_meter.h"
#include "platform/socket.h"
#include "platform/testing/temp_store.h"

namespace engine {
namespace {

// The process-wide log on a file of the test's own; Lines() stops it and reads what it wrote.
class SessionAccountTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = store_.dir() + "/access.log";
    ASSERT_TRUE(TheAccessLog().Start(path_));
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, client_), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, server_), 0);
  }
  void TearDown() override {
    TheAccessLog().Stop();
    for (int fd : {client_[0], client_[1], server_[0], server_[1]}) {
      if (fd >= 0) close(fd);
    }
  }
  // The last three fields of every line: bytes from and to the client, and the ending; with
  // the destination before them.
  std::vector<std::string> Lines() {
    TheAccessLog().Stop();
    std::ifstream in(path_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      std::istringstream fields(line);
      std::vector<std::string> f;
      for (std::string w; fields >> w;) f.push_back(w);
      lines.push_back(f.size() == 8 ? f[4] + " " + f[5] + " " + f[6] + " " + f[7] : line);
    }
    return lines;
  }
  // n bytes from the peer to the session's socket s, read by the session; then n back.
  static void Exchange(int s, int peer, size_t n) {
    std::string data(n, 'x');
    ASSERT_EQ(write(peer, data.data(), n), static_cast<ssize_t>(n));
    std::string got(n, '\0');
    size_t have = 0;
    while (have < n) {
      const int r = platform::Recv(s, got.data() + have, n - have);
      ASSERT_GT(r, 0);
      have += static_cast<size_t>(r);
    }
    ASSERT_EQ(platform::SendAll(s, got.data(), n), 0);
    ASSERT_EQ(read(peer, got.data(), n), static_cast<ssize_t>(n));
  }

  platform::testing::TempStore store_;
  std::string path_;
  int client_[2] = {-1, -1};  // [0] the session's side, [1] the client
  int server_[2] = {-1, -1};  // [0] the session's side, [1] the server
};

TEST_F(SessionAccountTest, OnlyTheClientsSocketsAreCountedAndAClosedOneNoMore) {
  SessionAccount account;
  account.Open("10.0.0.1", "WWW");
  platform::MeterSocket(client_[0]);
  Exchange(client_[0], client_[1], 100);
  Exchange(server_[0], server_[1], 5000);  // the server's side: not the client's bytes
  char peek[4];
  ASSERT_EQ(write(client_[1], "abcd", 4), 4);
  ASSERT_EQ(platform::Recv(client_[0], peek, 4, MSG_PEEK), 4);  // looked at, not taken
  ASSERT_EQ(platform::Recv(client_[0], peek, 4), 4);
  EXPECT_EQ(account.meter().from_client.load(), 104);
  EXPECT_EQ(account.meter().to_client.load(), 100);
  // The closed socket's number comes back for a server connection: nothing of it counts.
  const int number = client_[0];
  ASSERT_EQ(platform::CloseSocket(client_[0]), 0);
  client_[0] = -1;
  ASSERT_EQ(dup2(server_[0], number), number);
  Exchange(number, server_[1], 10);
  close(number);
  EXPECT_EQ(account.meter().from_client.load(), 104);
  account.Close();
  EXPECT_EQ(Lines(), std::vector<std::string>({"- 104 100 closed"}));
}

TEST_F(SessionAccountTest, EachRequestIsLoggedWithItsOwnBytesAndNothingTrails) {
  SessionAccount account;
  account.Open("10.0.0.1", "WWW");
  platform::MeterSocket(client_[0]);
  NoteSessionDestination("example.org", 80);
  Exchange(client_[0], client_[1], 300);
  LogSessionRequest();
  NoteSessionDestination("2001:db8::1", 8080);
  NoteSessionEnding(kEndDenied);
  Exchange(client_[0], client_[1], 20);
  LogSessionRequest();
  account.Close();  // nothing moved since the last request: no line of its own
  EXPECT_EQ(Lines(), std::vector<std::string>(
                         {"example.org:80 300 300 closed", "[2001:db8::1]:8080 20 20 denied"}));
}

TEST_F(SessionAccountTest, TheFirstEndingStandsUntilTheSessionGoesOnPastIt) {
  {
    SessionAccount account;
    account.Open("10.0.0.1", "FTP");
    NoteSessionEnding(kEndDenied);
    NoteSessionEnding(kEndClosed);  // the close that follows a refusal
    account.Close();
  }
  {
    SessionAccount account;
    account.Open("10.0.0.2", "FTP");
    NoteSessionEnding(kEndDenied);
    account.ClearEnding();  // a second log-in got through
    NoteSessionEnding(kEndKilled);
    account.Close();
  }
  NoteSessionEnding(kEndIdle);  // no account on this thread any more: nothing happens
  LogRefusedClient("10.0.0.3", "WWW");
  EXPECT_EQ(Lines(), std::vector<std::string>({"- 0 0 denied", "- 0 0 killed", "- 0 0 denied"}));
}

}  // namespace
}  // namespace engine
