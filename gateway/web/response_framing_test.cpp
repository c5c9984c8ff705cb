// Where an origin's answer ends on a kept connection, and whether either connection may carry
// another request after it: every framing, interim answers, split arrival and overruns.
#include "gateway/web/response_framing.h"

#include <gtest/gtest.h>

#include <string>

namespace web {
namespace {

struct Case {
  const char* name;
  bool head_request;
  std::string answer;  // the whole answer as the server sends it
  bool server_reusable;
  bool client_continues;
};

// Feeds bytes one at a time (the hardest split) and then a byte of the next answer.
size_t FeedByBytes(ResponseFraming& f, const std::string& bytes) {
  size_t taken = 0;
  for (char c : bytes) taken += f.TakeServerBytes(&c, 1);
  return taken;
}

TEST(ResponseFraming, FramedAnswersEndWhereTheirFramingSays) {
  const Case cases[] = {
      {"length", false, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", true, true},
      {"chunked", false,
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n"
       "3;e=1\r\nabc\r\n0\r\nTrailer: x\r\n\r\n",
       true, true},
      {"no content", false, "HTTP/1.1 204 No Content\r\nContent-Length: 9\r\n\r\n", true, true},
      {"not modified", false, "HTTP/1.1 304 Not Modified\r\n\r\n", true, true},
      {"head", true, "HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\n", true, true},
      {"interim first", false,
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", true, true},
      {"bare newlines", false, "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", true, true},
      {"server closes", false, "HTTP/1.1 200 OK\r\nConnection: Close\r\nContent-Length: 1\r\n\r\nx",
       false, false},
      {"old server", false, "HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nx", false, false},
      {"old server kept", false,
       "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 1\r\n\r\nx", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResponseFraming whole(c.head_request);
    std::string with_next = c.answer + "HTTP/1.1 200 OK\r\n";
    EXPECT_EQ(whole.TakeServerBytes(with_next.data(), with_next.size()), c.answer.size());
    EXPECT_TRUE(whole.Complete());
    EXPECT_FALSE(whole.ServerReusable()) << "bytes past the answer spoil the connection";
    EXPECT_EQ(whole.ClientMayContinue(), c.client_continues);

    ResponseFraming split(c.head_request);
    EXPECT_EQ(FeedByBytes(split, c.answer), c.answer.size());
    EXPECT_TRUE(split.Complete());
    EXPECT_EQ(split.ServerReusable(), c.server_reusable);
    EXPECT_EQ(split.ClientMayContinue(), c.client_continues);
  }
}

TEST(ResponseFraming, UnframedAnswersLastUntilTheServerCloses) {
  const std::string answers[] = {
      "HTTP/1.1 200 OK\r\n\r\nbody without a length",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nbytes",
      "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd",
      "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\nother protocol",
      "ICY 200 OK\r\n\r\nstream",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nnot a chunk",
  };
  for (const std::string& answer : answers) {
    SCOPED_TRACE(answer);
    ResponseFraming f(false);
    EXPECT_EQ(f.TakeServerBytes(answer.data(), answer.size()), answer.size());
    EXPECT_EQ(f.TakeServerBytes("more", 4), 4u);
    EXPECT_FALSE(f.Complete());
    EXPECT_FALSE(f.ServerReusable());
    EXPECT_FALSE(f.ClientMayContinue());
  }
}

TEST(ResponseFraming, OversizedHeaderBlockIsPassedOnUntilClose) {
  ResponseFraming f(false);
  std::string head = "HTTP/1.1 200 OK\r\nX: " + std::string(kMaxResponseHead, 'a');
  EXPECT_EQ(f.TakeServerBytes(head.data(), head.size()), head.size());
  EXPECT_EQ(f.TakeServerBytes("\r\n\r\n", 4), 4u);
  EXPECT_FALSE(f.Complete());
}

}  // namespace
}  // namespace web
