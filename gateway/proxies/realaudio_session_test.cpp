// The RealAudio session in this process on loopback: a player's dialogue, the connect to the
// server, the rewrite of the player's UDP port in its first request, the datagram relay, and
// the ends a session can meet. The server is scripted; the player speaks raw bytes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "gateway/proxies/realaudio_proxy.h"
#include "platform/testing/script_server.h"

namespace proxies {
namespace {

using platform::Socket;
using platform::testing::ReadToClose;
using platform::testing::SendText;

std::string Message(const std::string& body) {
  return std::string{static_cast<char>(body.size() >> 8), static_cast<char>(body.size() & 0xFF)} +
         body;
}

std::string Port(uint16_t port) {
  return std::string{static_cast<char>(port >> 8), static_cast<char>(port & 0xFF)};
}

// Reads exactly n bytes (fewer when the peer closes or falls silent).
std::string ReadExactly(Socket s, size_t n) {
  std::string got;
  char buffer[512];
  while (got.size() < n && platform::WaitReadable(s, platform::testing::kSilenceMs) == 1) {
    int r = platform::Recv(s, buffer, std::min(sizeof buffer, n - got.size()));
    if (r <= 0) break;
    got.append(buffer, static_cast<size_t>(r));
  }
  return got;
}

class RealAudioSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    listener_ = platform::testing::ListenLoopback();
    ASSERT_NE(listener_, platform::kInvalidSocket);
  }
  void TearDown() override {
    EXPECT_TRUE(engine::SessionThread::WaitForSessions(platform::testing::kSilenceMs));
    platform::CloseSocket(listener_);
  }
  // A player connected to a new session, past the proxy's hello.
  Socket Player() {
    auto* session = new CRealAudio(listener_);
    session->set_auto_delete(true);
    EXPECT_TRUE(session->CreateThread());
    Socket p = platform::testing::DialLoopback(platform::LocalPort(listener_));
    EXPECT_EQ(ReadExactly(p, 4), std::string("\0\2\1\1", 4));
    return p;
  }
  // The dialogue for host:port over UDP with the player's port at offset 4 of its request.
  static std::string Dialogue(const std::string& host, uint16_t port) {
    return Message("\1") + Message("\2" + host) + Message("\3" + Port(port)) +
           Message(std::string("\4\0\4", 3)) + Message("\5\2") + Message(std::string(1, '\0'));
  }
  // The session's reply: code and text.
  static std::pair<int, std::string> Reply(Socket s) {
    std::string length = ReadExactly(s, 2);
    if (length.size() != 2) return {-1, "<no reply>"};
    std::string body =
        ReadExactly(s, static_cast<uint8_t>(length[0]) * 256u + static_cast<uint8_t>(length[1]));
    if (body.size() < 2) return {-1, "<short reply>"};
    return {body[1], body.substr(2)};
  }

  Socket listener_ = platform::kInvalidSocket;
};

TEST_F(RealAudioSessionTest, PlayersUdpPortIsReplacedAndDatagramsReachThePlayer) {
  std::string request_seen;
  std::atomic<bool> player_done{false};
  platform::testing::ScriptServer server([&](Socket s) {
    request_seen = ReadExactly(s, 13);
    (void)SendText(s, "control-back");
    while (!player_done.load() && platform::WaitReadable(s, 50) != 1) {
    }
  });
  Socket audio = platform::CreateSocket(SOCK_DGRAM);
  ASSERT_EQ(platform::BindLoopback(audio, 0), 0);
  uint16_t own_udp = platform::LocalPort(audio);
  Socket player = Player();
  ASSERT_TRUE(SendText(player, Dialogue("127.0.0.1", server.port())));
  EXPECT_EQ(Reply(player),
            std::make_pair(0, std::string("SUCCESS connected to Real Audio Server")));
  ASSERT_TRUE(SendText(player, "PLAY" + Port(own_udp) + "/stream"));
  EXPECT_EQ(ReadExactly(player, 12), "control-back");
  ASSERT_EQ(request_seen.size(), 13u);
  EXPECT_EQ(request_seen.substr(0, 4) + request_seen.substr(6), "PLAY/stream");
  uint16_t gateway_udp = static_cast<uint16_t>(static_cast<uint8_t>(request_seen[4]) * 256 +
                                               static_cast<uint8_t>(request_seen[5]));
  EXPECT_NE(gateway_udp, own_udp);
  Socket out = platform::CreateSocket(SOCK_DGRAM);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(gateway_udp);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (const std::string datagram : {"audio-0", "audio-1", "audio-2"}) {
    ASSERT_EQ(platform::SendTo(out, datagram.data(), datagram.size(), to),
              static_cast<int>(datagram.size()));
    ASSERT_EQ(platform::WaitReadable(audio, platform::testing::kSilenceMs), 1) << datagram;
    char buffer[64];
    sockaddr_in from{};
    int n = platform::RecvFrom(audio, buffer, sizeof buffer, &from);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(std::max(n, 0))), datagram);
  }
  player_done = true;
  // The server's close ends the session: the player sees its connection close.
  EXPECT_EQ(ReadToClose(player), "");
  platform::CloseSocket(player);
  platform::CloseSocket(audio);
  platform::CloseSocket(out);
}

TEST_F(RealAudioSessionTest, FirstRequestTooShortForThePortEndsTheSession) {
  std::promise<std::string> seen;
  platform::testing::ScriptServer server([&](Socket s) { seen.set_value(ReadToClose(s)); });
  Socket player = Player();
  ASSERT_TRUE(SendText(player, Dialogue("127.0.0.1", server.port())));
  EXPECT_EQ(Reply(player).first, 0);
  // The port would lie at bytes 4 and 5: a 5-byte request cannot hold it.
  ASSERT_TRUE(SendText(player, "PLAY!"));
  EXPECT_EQ(ReadToClose(player), "");
  platform::CloseSocket(player);
  auto server_got = seen.get_future();
  ASSERT_EQ(server_got.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(server_got.get(), "") << "nothing of the request reached the server";
}

TEST_F(RealAudioSessionTest, DialogueFaultsGetTheirCodes) {
  Socket closed = platform::CreateSocket(SOCK_STREAM);
  ASSERT_EQ(platform::BindLoopback(closed, 0), 0);
  struct Case {
    std::string dialogue;
    int code;
    std::string text;
  } cases[] = {
      {Message("\2host"), 3, "Bad Proxy Version"},
      {Message("\1") + Message("\7"), 4, "Unexpected Proxy Opcode"},
      {Message("\1") + Message("\2no-such-host.invalid") + Message("\3" + Port(7070)) +
           Message("\5\1") + Message(std::string(1, '\0')),
       2, "BAD information was passed in the proxy dialog"},
      {Dialogue("127.0.0.1", platform::LocalPort(closed)), 1,
       "Could NOT connect to Real Audio Server"},
      {Message("\1") + std::string("\xff\xff", 2), 2,
       "BAD information was passed in the proxy dialog"},
  };
  for (const Case& c : cases) {
    Socket player = Player();
    ASSERT_TRUE(SendText(player, c.dialogue));
    EXPECT_EQ(Reply(player), std::make_pair(c.code, c.text)) << c.text;
    EXPECT_EQ(ReadToClose(player), "");
    platform::CloseSocket(player);
  }
  platform::CloseSocket(closed);
}

}  // namespace
}  // namespace proxies
