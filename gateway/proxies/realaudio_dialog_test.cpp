// The RealAudio dialogue: reply bytes, opcode rules, and the bounded message read.
#include "gateway/proxies/realaudio_dialog.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace proxies {
namespace {

using Bytes = std::vector<uint8_t>;

int Step(RealAudioRequest* req, Bytes body, int* code) {
  return TakeDialogueMessage(body, req, code);
}

// A request after the hello, with the messages given.
int Dialogue(const std::vector<Bytes>& messages, int* code, RealAudioRequest* req) {
  int result = Step(req, {1}, code);
  for (const Bytes& m : messages) {
    result = Step(req, m, code);
    if (result != kDialogueContinue) break;
  }
  return result;
}

TEST(RealAudioReply, LengthFieldIsTextPlusOneAndLastCharacterIsDropped) {
  Bytes reply = RealAudioReply(kReplyBadVersion);
  const std::string text = "Bad Proxy Version.";
  ASSERT_EQ(reply.size(), text.size() + 3);
  EXPECT_EQ(reply[0], 0);
  EXPECT_EQ(reply[1], text.size() + 1);
  EXPECT_EQ(reply[2], 6);
  EXPECT_EQ(reply[3], 3);  // the code the player sees
  EXPECT_EQ(std::string(reply.begin() + 4, reply.end()), "Bad Proxy Version");
  Bytes connected = RealAudioReply(kReplyConnected);
  EXPECT_EQ(std::string(connected.begin() + 4, connected.end()),
            "SUCCESS connected to Real Audio Server");
}

TEST(RealAudioDialogue, FirstMessageMustBeTheHello) {
  RealAudioRequest req;
  int code = -1;
  EXPECT_EQ(Step(&req, {2, 'h'}, &code), kDialogueRefuse);
  EXPECT_EQ(code, kReplyBadVersion);
}

TEST(RealAudioDialogue, UnknownOpcodeAndSecondHelloAreRefused) {
  for (uint8_t opcode : {7, 1, 200}) {
    RealAudioRequest req;
    int code = -1;
    EXPECT_EQ(Dialogue({{opcode}}, &code, &req), kDialogueRefuse) << int(opcode);
    EXPECT_EQ(code, kReplyUnexpectedOpcode);
  }
}

TEST(RealAudioDialogue, GoNeedsHostPortTransportAndNoOffsetWithTcp) {
  const Bytes host = {2, 's', 'r', 'v', 0, 'x'};
  const Bytes port = {3, 0x1B, 0x58};
  const Bytes offset = {4, 0, 4};
  const Bytes tcp = {5, 1};
  const Bytes udp = {5, 2};
  struct Case {
    const char* what;
    std::vector<Bytes> messages;
    int result;
  };
  const Case cases[] = {
      {"no host", {port, tcp, {0}}, kDialogueRefuse},
      {"no port", {host, tcp, {0}}, kDialogueRefuse},
      {"no transport", {host, port, {0}}, kDialogueRefuse},
      {"tcp with offset", {host, port, offset, tcp, {0}}, kDialogueRefuse},
      {"tcp", {host, port, {6, 9}, tcp, {0}}, kDialogueGo},
      {"udp with offset", {offset, host, port, udp, {0}}, kDialogueGo},
      {"udp without offset", {host, port, udp, {0}}, kDialogueGo},
  };
  for (const Case& c : cases) {
    RealAudioRequest req;
    int code = -1;
    EXPECT_EQ(Dialogue(c.messages, &code, &req), c.result) << c.what;
    if (c.result == kDialogueRefuse) {
      EXPECT_EQ(code, kReplyBadInformation) << c.what;
    }
    if (c.result == kDialogueGo) {
      EXPECT_EQ(req.host, "srv") << c.what;
      EXPECT_EQ(req.port, 7000) << c.what;
    }
  }
}

TEST(RealAudioDialogue, ShortArgumentsReadAsZeroAndOtherTransportMeansUdp) {
  RealAudioRequest req;
  int code = -1;
  EXPECT_EQ(Dialogue({{3, 0x12}, {4}, {5, 9}}, &code, &req), kDialogueContinue);
  EXPECT_EQ(req.port, 0x1200);
  EXPECT_EQ(req.udp_offset, 0);
  EXPECT_EQ(req.transport, kTransportUdp);
}

class DialogueRead : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0); }
  void TearDown() override {
    close(fds_[0]);
    if (fds_[1] >= 0) close(fds_[1]);
  }
  void Write(const Bytes& b) { ASSERT_EQ(write(fds_[1], b.data(), b.size()), ssize_t(b.size())); }
  int fds_[2] = {-1, -1};
};

TEST_F(DialogueRead, ReadsMessageSentInPieces) {
  Write({0});
  Write({3, 2, 'a'});
  Write({'b'});
  Bytes body;
  ASSERT_EQ(ReadDialogueMessage(fds_[0], 5000, &body), 0);
  EXPECT_EQ(body, (Bytes{2, 'a', 'b'}));
}

TEST_F(DialogueRead, OverlongLengthIsRefusedBeforeReadingTheBody) {
  Write({0x04, 0x01});
  Bytes body;
  EXPECT_EQ(ReadDialogueMessage(fds_[0], 5000, &body), -2);
}

TEST_F(DialogueRead, PlayerClosingMidMessageEndsTheRead) {
  Write({0, 9, 2, 'x'});
  close(fds_[1]);
  fds_[1] = -1;
  Bytes body;
  EXPECT_EQ(ReadDialogueMessage(fds_[0], 5000, &body), -1);
}

TEST_F(DialogueRead, SilentPlayerIsGivenUpAfterTheWait) {
  Write({0, 9, 2});
  Bytes body;
  EXPECT_EQ(ReadDialogueMessage(fds_[0], 100, &body), -1);
}

}  // namespace
}  // namespace proxies
