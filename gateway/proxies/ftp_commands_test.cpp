// The FTP proxy's reading of commands, log-in lines, PORT and replies, and its line buffer.
#include "gateway/proxies/ftp_commands.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "gateway/proxies/ftp_line_reader.h"

namespace proxies {
namespace {

TEST(FtpCommands, ClassifiesByLeadingWordIgnoringCase) {
  struct Case {
    const char* line;
    FtpCommand want;
  } cases[] = {
      {"USER a@b\r\n", FtpCommand::kUser},
      {"user a@b\r\n", FtpCommand::kUser},
      {"Port 1,2,3,4,5,6\r\n", FtpCommand::kPort},
      {"RETR f\r\n", FtpCommand::kTransfer},
      {"nlst\r\n", FtpCommand::kTransfer},
      {"LISTING\r\n", FtpCommand::kTransfer},
      {"APPE f\r\n", FtpCommand::kTransfer},
      {"STOU\r\n", FtpCommand::kTransfer},
      {"QUIT\r\n", FtpCommand::kQuit},
      {"pasv\r\n", FtpCommand::kPassive},
      {"EPSV\r\n", FtpCommand::kExtPassive},
      {"FEAT\r\n", FtpCommand::kOther},
      {"EPRT |1|1.2.3.4|5|\r\n", FtpCommand::kExtPort},
      {"MLSD\r\n", FtpCommand::kTransfer},
      {"use\r\n", FtpCommand::kOther},
      {"", FtpCommand::kOther},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyFtpCommand(c.line), c.want) << c.line;
}

TEST(FtpCommands, LoginLineGivesHostAndPort) {
  std::string host;
  int port = 0;
  ASSERT_EQ(ParseFtpLogin("USER alice@ftp.example.com\r\n", &host, &port), 0);
  EXPECT_EQ(host, "ftp.example.com");
  EXPECT_EQ(port, 21);
  ASSERT_EQ(ParseFtpLogin("user bob@10.0.0.7:2121\r\n", &host, &port), 0);
  EXPECT_EQ(host, "10.0.0.7");
  EXPECT_EQ(port, 2121);
  // A bare line feed ends the host as well as CR LF does.
  ASSERT_EQ(ParseFtpLogin("USER c@host\n", &host, &port), 0);
  EXPECT_EQ(host, "host");
  ASSERT_EQ(ParseFtpLogin("USER c@host trailing\r\n", &host, &port), 0);
  EXPECT_EQ(host, "host");
}

TEST(FtpCommands, AccountWithItsOwnAtSplitsAtTheLastOne) {
  std::string host;
  int port = 0;
  ASSERT_EQ(ParseFtpLogin("USER me@mail.example@ftp.example:2121\r\n", &host, &port), 0);
  EXPECT_EQ(host, "ftp.example");
  EXPECT_EQ(port, 2121);
  EXPECT_EQ(FtpServerUserLine("USER me@mail.example@ftp.example\r\n"), "USER me@mail.example\r\n");
}

TEST(FtpCommands, LoginLineFaults) {
  std::string host;
  int port = 0;
  EXPECT_EQ(ParseFtpLogin("USER alice\r\n", &host, &port), -1);
  EXPECT_EQ(ParseFtpLogin("USER\r\n", &host, &port), -1);
  EXPECT_EQ(ParseFtpLogin("USER a@h:0\r\n", &host, &port), -2);
  EXPECT_EQ(ParseFtpLogin("USER a@h:65536\r\n", &host, &port), -2);
  EXPECT_EQ(ParseFtpLogin("USER a@h:x1\r\n", &host, &port), -2);
}

TEST(FtpCommands, ServerSeesCommandWordAndAccountOnly) {
  EXPECT_EQ(FtpServerUserLine("USER alice@127.0.0.2:2121\r\n"), "USER alice\r\n");
  EXPECT_EQ(FtpServerUserLine("uSeR Bob@host\r\n"), "uSeR Bob\r\n");
  EXPECT_EQ(FtpServerUserLine("USER nobody\r\n"), "");
}

TEST(FtpCommands, PortLineGivesAddressAndPort) {
  std::string address;
  int port = 0;
  ASSERT_EQ(ParseFtpPort("PORT 10,0,0,5,4,1\r\n", &address, &port), 0);
  EXPECT_EQ(address, "10.0.0.5");
  EXPECT_EQ(port, 1025);
  // Not an address: the client's own address is meant.
  ASSERT_EQ(ParseFtpPort("PORT 999,0,0,5,0,21\r\n", &address, &port), 0);
  EXPECT_EQ(address, "");
  EXPECT_EQ(port, 21);
}

TEST(FtpCommands, MalformedPortLines) {
  std::string address;
  int port = 0;
  for (const char* line :
       {"PORT 10,0,0,5\r\n", "PORT 10,0,0,5,4\r\n", "PORT\r\n", "PORT 10,0,0,5,256,1\r\n",
        "PORT 10,0,0,5,4,1,9\r\n", "PORT 10,0,0,5,,1\r\n"}) {
    EXPECT_EQ(ParseFtpPort(line, &address, &port), -1) << line;
  }
}

TEST(FtpCommands, RewrittenPortCarriesGatewayAddressAndListenerPort) {
  EXPECT_EQ(FtpPortCommand("192.168.1.1", 1025), "PORT 192,168,1,1,4,1\r\n");
  EXPECT_EQ(FtpPortCommand("127.0.0.1", 65535), "PORT 127,0,0,1,255,255\r\n");
}

TEST(FtpCommands, EprtLines) {
  std::string address;
  int port = 0;
  ASSERT_EQ(ParseFtpEprt("EPRT |1|132.235.1.2|6275|\r\n", &address, &port), 0);
  EXPECT_EQ(address, "132.235.1.2");
  EXPECT_EQ(port, 6275);
  ASSERT_EQ(ParseFtpEprt("eprt !1!10.0.0.1!21!\r\n", &address, &port), 0);
  EXPECT_EQ(address, "10.0.0.1");
  EXPECT_EQ(ParseFtpEprt("EPRT |2|1080::8:800:200C:417A|5282|\r\n", &address, &port), -2);
  for (const char* line :
       {"EPRT\r\n", "EPRT |1|1.2.3.4|0|\r\n", "EPRT |1|1.2.3.4|70000|\r\n", "EPRT |1|1.2.3|80|\r\n",
        "EPRT |1|1.2.3.4|80\r\n", "EPRT 1|1|1.2.3.4|80|\r\n", "EPRT |3|1.2.3.4|80|\r\n",
        "EPRT |1|1.2.3.4|80|x\r\n"}) {
    EXPECT_EQ(ParseFtpEprt(line, &address, &port), -1) << line;
  }
  EXPECT_EQ(ParseFtpEpsv("EPSV\r\n"), 0);
  EXPECT_EQ(ParseFtpEpsv("EPSV 1\r\n"), 0);
  EXPECT_EQ(ParseFtpEpsv("EPSV all\r\n"), 1);
  EXPECT_EQ(ParseFtpEpsv("EPSV 2\r\n"), -2);
  EXPECT_EQ(ParseFtpEpsv("EPSV x\r\n"), -1);
}

TEST(FtpCommands, PassiveReplyGivesOnlyThePort) {
  int port = 0;
  ASSERT_EQ(ParseFtpPassiveReply("227 Entering Passive Mode (10,1,2,3,4,1).\r\n", &port), 0);
  EXPECT_EQ(port, 1025);
  ASSERT_EQ(ParseFtpPassiveReply("227 =192,168,0,9,255,255\r\n", &port), 0);
  EXPECT_EQ(port, 65535);
  // A number too large to be one part of the six is skipped, not wrapped.
  ASSERT_EQ(ParseFtpPassiveReply("227 port 1000 at 1,2,3,4,0,21\r\n", &port), 0);
  EXPECT_EQ(port, 21);
  for (const char* reply : {"227 Entering Passive Mode\r\n", "227 (1,2,3,4,5)\r\n",
                            "227 (1,2,3,4,256,1)\r\n", "227 (1,2,3,4,0,0)\r\n"}) {
    EXPECT_EQ(ParseFtpPassiveReply(reply, &port), -1) << reply;
  }
  EXPECT_EQ(FtpPassiveReply("192.168.1.1", 1025),
            "227 Entering Passive Mode (192,168,1,1,4,1).\r\n");
  EXPECT_EQ(FtpExtendedPassiveReply(50000), "229 Entering Extended Passive Mode (|||50000|).\r\n");
}

TEST(FtpCommands, ReplyTrackerFollowsSingleAndMultiLineReplies) {
  FtpReplyTracker replies;
  EXPECT_TRUE(replies.EndsReply("331 password please\r\n"));
  EXPECT_EQ(replies.code(), "331");
  EXPECT_FALSE(replies.EndsReply("211-Features:\r\n"));
  EXPECT_FALSE(replies.EndsReply(" MDTM\r\n"));
  EXPECT_FALSE(replies.EndsReply("211-more\r\n"));
  EXPECT_TRUE(replies.EndsReply("211 End\r\n"));
  EXPECT_EQ(replies.code(), "211");
  EXPECT_TRUE(replies.EndsReply("150 opening\r\n"));
  EXPECT_EQ(replies.code(), "150");
}

TEST(FtpCommands, MultiLineReplyEndsOnItsCodeAndABlank) {
  EXPECT_FALSE(OpensMultiLineReply("220 ready\r\n"));
  EXPECT_TRUE(OpensMultiLineReply("220-welcome\r\n"));
  EXPECT_FALSE(EndsMultiLineReply("220-welcome\r\n", "   indented text\r\n"));
  EXPECT_FALSE(EndsMultiLineReply("220-welcome\r\n", "220-more\r\n"));
  EXPECT_FALSE(EndsMultiLineReply("220-welcome\r\n", "230 another code\r\n"));
  EXPECT_FALSE(EndsMultiLineReply("220-welcome\r\n", "220"));
  EXPECT_TRUE(EndsMultiLineReply("220-welcome\r\n", "220 ready\r\n"));
}

class FtpLineReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0); }
  void TearDown() override {
    close(fds_[0]);
    close(fds_[1]);
  }
  void Write(const std::string& text) {
    ASSERT_EQ(write(fds_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  int fds_[2] = {-1, -1};
  FtpLineReader reader_;
};

TEST_F(FtpLineReaderTest, SplitsPipelinedLinesAndKeepsAPartialOne) {
  Write("USER a@b\r\nPASS x\r\nSY");
  ASSERT_GT(reader_.Fill(fds_[0]), 0);
  std::string line;
  ASSERT_EQ(reader_.TakeLine(&line), FtpLineReader::Take::kLine);
  EXPECT_EQ(line, "USER a@b\r\n");
  ASSERT_EQ(reader_.TakeLine(&line), FtpLineReader::Take::kLine);
  EXPECT_EQ(line, "PASS x\r\n");
  EXPECT_EQ(reader_.TakeLine(&line), FtpLineReader::Take::kNone);
  Write("ST\r\n");
  ASSERT_GT(reader_.Fill(fds_[0]), 0);
  ASSERT_EQ(reader_.TakeLine(&line), FtpLineReader::Take::kLine);
  EXPECT_EQ(line, "SYST\r\n");
}

TEST_F(FtpLineReaderTest, OverlongLineIsReportedOnceAndItsRestDropped) {
  Write("RETR " + std::string(3000, 'x') + "\r\nNOOP\r\n");
  std::string line;
  int too_long = 0;
  std::vector<std::string> lines;
  for (int i = 0; i < 10 && lines.empty(); ++i) {
    ASSERT_GT(reader_.Fill(fds_[0]), 0);
    for (;;) {
      FtpLineReader::Take t = reader_.TakeLine(&line);
      if (t == FtpLineReader::Take::kNone) break;
      if (t == FtpLineReader::Take::kTooLong) {
        ++too_long;
        EXPECT_EQ(line.size(), FtpLineReader::kCapacity);
      } else {
        lines.push_back(line);
      }
    }
  }
  EXPECT_EQ(too_long, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "NOOP\r\n");
}

TEST_F(FtpLineReaderTest, ClosedPeerReadsZero) {
  close(fds_[1]);
  fds_[1] = socket(AF_UNIX, SOCK_STREAM, 0);
  EXPECT_EQ(reader_.Fill(fds_[0]), 0);
}

}  // namespace
}  // namespace proxies
