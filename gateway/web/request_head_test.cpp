// Collecting the request header block from a real socket, and the Connection rewrite.
#include "gateway/web/request_head.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "gateway/web/loopback_pair.h"

namespace web {
namespace {

void SendAllOf(platform::Socket s, const std::string& text) {
  ASSERT_EQ(platform::SendAll(s, text.data(), text.size()), 0);
}

TEST(CollectRequestHead, HeaderInTwoPiecesIsCollectedWhole) {
  LoopbackPair pair;
  std::thread writer([&] {
    SendAllOf(pair.peer, "GET http://h/ HTTP/1.0\r\nHo");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    SendAllOf(pair.peer, "st: h\r\n\r\nbody");
  });
  std::string request;
  HeadResult result = CollectRequestHead(pair.ours, 5000, &request);
  writer.join();
  ASSERT_EQ(result, HeadResult::kComplete);
  // Body bytes that came with the last piece go along with the head.
  EXPECT_EQ(request.substr(0, 39), "GET http://h/ HTTP/1.0\r\nHost: h\r\n\r\nbody");
}

TEST(CollectRequestHead, EndsOnSilenceUnfinishedHeadOrClose) {
  {
    LoopbackPair pair;
    std::string request;
    EXPECT_EQ(CollectRequestHead(pair.ours, 50, &request), HeadResult::kNothing);
  }
  {
    LoopbackPair pair;
    SendAllOf(pair.peer, "GET http://h/ HTTP/1.0\r\nHost: h\r\n");
    std::string request;
    EXPECT_EQ(CollectRequestHead(pair.ours, 100, &request), HeadResult::kViolation);
  }
  {
    LoopbackPair pair;
    SendAllOf(pair.peer, "GET http://h/ HTTP/1.0\r\n");
    platform::CloseSocket(pair.peer);
    pair.peer = platform::kInvalidSocket;
    std::string request;
    EXPECT_EQ(CollectRequestHead(pair.ours, 5000, &request), HeadResult::kClosed);
  }
}

TEST(CollectRequestHead, SizeLimitIsExact) {
  const std::string line = "GET http://h/ HTTP/1.0\r\nX: ";
  const std::string end = "\r\n\r\n";
  {
    LoopbackPair pair;
    SendAllOf(pair.peer, line + std::string(kMaxRequestHead - line.size() - end.size(), 'a') + end);
    std::string request;
    EXPECT_EQ(CollectRequestHead(pair.ours, 5000, &request), HeadResult::kComplete);
    EXPECT_EQ(request.size(), kMaxRequestHead);
  }
  {
    LoopbackPair pair;
    SendAllOf(pair.peer,
              line + std::string(kMaxRequestHead - line.size() - end.size() + 1, 'a') + end);
    std::string request;
    EXPECT_EQ(CollectRequestHead(pair.ours, 5000, &request), HeadResult::kViolation);
  }
}

TEST(CollectRequestHead, BytesReadEarlierComeFirst) {
  LoopbackPair pair;
  // A whole head read with the previous request: nothing is read from the socket.
  SendAllOf(pair.peer, "unread");
  std::string request = "GET http://h/ HTTP/1.1\r\n\r\nGET http://i/";
  ASSERT_EQ(CollectRequestHead(pair.ours, 5000, &request), HeadResult::kComplete);
  EXPECT_EQ(request, "GET http://h/ HTTP/1.1\r\n\r\nGET http://i/");
  // Part of one: the rest comes from the socket, behind it.
  LoopbackPair second;
  request = "GET http://i/ HTTP/1.1\r";
  SendAllOf(second.peer, "\nHost: i\r\n\r\n");
  ASSERT_EQ(CollectRequestHead(second.ours, 5000, &request), HeadResult::kComplete);
  EXPECT_EQ(request, "GET http://i/ HTTP/1.1\r\nHost: i\r\n\r\n");
  // A head that cannot end within the limit.
  request.assign(kMaxRequestHead, 'a');
  EXPECT_EQ(CollectRequestHead(pair.ours, 5000, &request), HeadResult::kViolation);
}

TEST(CloseConnectionHeaders, ReplacesEveryConnectionHeader) {
  std::string in =
      "GET / HTTP/1.1\r\nHost: h\r\nProxy-Connection: Keep-Alive\r\nconnection: keep-alive,\r\n"
      " Upgrade\r\nKEEP-ALIVE : 300\r\nX-Connection: stays\r\nAccept: */*\r\n\r\nbody\r\n\r\n";
  EXPECT_EQ(CloseConnectionHeaders(in),
            "GET / HTTP/1.1\r\nHost: h\r\nX-Connection: stays\r\nAccept: */*\r\n"
            "Connection: close\r\n\r\nbody\r\n\r\n");
}

TEST(CloseConnectionHeaders, KeepsTheRequestsLineEnding) {
  EXPECT_EQ(CloseConnectionHeaders("GET / HTTP/1.0\r\n\r\n"),
            "GET / HTTP/1.0\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(CloseConnectionHeaders("GET / HTTP/1.0\nHost: h\nConnection: x\n\n"),
            "GET / HTTP/1.0\nHost: h\nConnection: close\n\n");
}

}  // namespace
}  // namespace web
