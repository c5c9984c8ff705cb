// The error page's exact bytes, and that an answer survives a client still sending.
#include "gateway/web/error_pages.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "gateway/web/loopback_pair.h"

namespace web {
namespace {

// Everything the peer receives until the close; "<reset>" appended on an error.
std::string ReadToClose(platform::Socket s) {
  std::string got;
  char buf[4096];
  for (int i = 0; i < 10000; ++i) {
    if (platform::WaitReadable(s, 5000) != 1) return got + "<timeout>";
    int n = platform::Recv(s, buf, sizeof buf);
    if (n == 0) return got;
    if (n < 0) return got + "<reset>";
    got.append(buf, static_cast<size_t>(n));
  }
  return got + "<endless>";
}

TEST(ErrorPages, AccessDeniedPageIsExact) {
  LoopbackPair pair;
  SendErrorPage(pair.ours, kAccessDeniedMessage);
  platform::CloseSocket(pair.ours);
  pair.ours = platform::kInvalidSocket;
  EXPECT_EQ(ReadToClose(pair.peer),
            "HTTP/1.0 500 Internal Server Error\r\n\r\n<HTML><HEAD><TITLE>Wayfarer v2.0Error "
            "Notification </TITLE></HEAD><BODY>\n<H1>Wayfarer v2.0 Access Denied</H1><P> The "
            "Rule Set Does Not Permit This Action<P><P>Contact Your Administrator<P></BODY>"
            "</HTML>");
}

TEST(ErrorPages, AnswerReachesAClientWhoseBytesWereNeverRead) {
  LoopbackPair pair;
  std::string unread(60000, 'x');
  ASSERT_EQ(platform::SendAll(pair.peer, unread.data(), unread.size()), 0);
  std::promise<void> closed;
  std::string got;
  // The client reads only once the proxy side has closed, as a slow client would.
  std::thread client([&] {
    closed.get_future().wait();
    got = ReadToClose(pair.peer);
  });
  SendBareText(pair.ours, kProtocolViolation);
  FinishAnswer(pair.ours);
  platform::CloseSocket(pair.ours);
  pair.ours = platform::kInvalidSocket;
  closed.set_value();
  client.join();
  EXPECT_EQ(got, "PROTOCOL Violation");
}

TEST(ErrorPages, AnAnswerEndsTheAccessLogLineWithItsHeadingAlone) {
  EXPECT_EQ(AnswerEnding(kHostNotFoundMessage), "Host Not Found");
  EXPECT_EQ(AnswerEnding(kHostMayBeBusyMessage), "Host May Be Busy");
  EXPECT_EQ(AnswerEnding(kAccessDeniedMessage), "denied");
  EXPECT_EQ(AnswerEnding(kDataRetriveFailure), "Data Retrive Failure");
  EXPECT_EQ(AnswerEnding("   "), "");
}

}  // namespace
}  // namespace web
