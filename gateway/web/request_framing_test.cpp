// Where a request ends: bodies by Content-Length and chunked framing, bytes of a second
// request, split arrival, and framings that cannot be read.
#include "gateway/web/request_framing.h"

#include <gtest/gtest.h>

namespace web {
namespace {

constexpr char kGet[] = "GET http://a/ HTTP/1.1\r\nHost: a\r\n\r\n";

size_t Take(RequestFraming& f, const std::string& bytes) {
  return f.TakeClientBytes(bytes.data(), bytes.size());
}

TEST(RequestFraming, RequestWithoutBodyTakesNothingMore) {
  RequestFraming f;
  ASSERT_TRUE(f.Start(kGet));
  EXPECT_TRUE(f.complete());
  EXPECT_EQ(Take(f, "GET http://b/two HTTP/1.1\r\n\r\n"), 0u);
}

TEST(RequestFraming, ContentLengthBodyArrivingInPieces) {
  RequestFraming f;
  ASSERT_TRUE(f.Start("POST http://a/ HTTP/1.1\r\ncontent-LENGTH:  10 \r\n\r\n"));
  EXPECT_FALSE(f.complete());
  EXPECT_EQ(Take(f, "0123"), 4u);
  EXPECT_EQ(Take(f, "456789GET http://b/"), 6u);
  EXPECT_TRUE(f.complete());
  EXPECT_EQ(Take(f, "x"), 0u);
}

TEST(RequestFraming, ChunkedBodyWithExtensionsAndTrailer) {
  const std::string body =
      "4;name=v\r\nWiki\r\n"
      "A\r\n0123456789\r\n"
      "0\r\nX-Trailer: 1\r\n\r\n";
  const std::string next = "GET http://b/ HTTP/1.1\r\n\r\n";
  RequestFraming whole;
  ASSERT_TRUE(whole.Start("POST http://a/ HTTP/1.1\nTransfer-Encoding: chunked\n\n"));
  EXPECT_EQ(Take(whole, body + next), body.size());
  EXPECT_TRUE(whole.complete());

  // One byte at a time ends at the same place.
  RequestFraming bytewise;
  ASSERT_TRUE(
      bytewise.Start("POST http://a/ HTTP/1.1\r\nTransfer-Encoding: gzip, chunked\r\n\r\n"));
  std::string all = body + next;
  size_t taken = 0;
  for (char c : all) {
    size_t n = bytewise.TakeClientBytes(&c, 1);
    if (n == 0) break;
    taken += n;
  }
  EXPECT_EQ(taken, body.size());
}

TEST(RequestFraming, BrokenChunksEndTheRequestAtTheFault) {
  struct Case {
    const char* bytes;
    size_t own;
  } cases[] = {
      {"zz\r\n", 3},                  // not a size: refused at its line end
      {"3\r\nabcXY\r\n", 9},          // no empty line after the chunk
      {"12345678901234567\r\n", 18},  // a size beyond any body
  };
  for (const Case& c : cases) {
    RequestFraming f;
    ASSERT_TRUE(f.Start("POST http://a/ HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"));
    EXPECT_EQ(Take(f, c.bytes), c.own) << c.bytes;
    EXPECT_FALSE(f.complete()) << c.bytes;
    EXPECT_EQ(Take(f, "more"), 0u) << c.bytes;
  }
  RequestFraming endless;
  ASSERT_TRUE(endless.Start("POST http://a/ HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"));
  std::string long_line(5000, '1');
  EXPECT_LT(Take(endless, long_line), long_line.size());
}

TEST(RequestFraming, UnreadableFramingsAreRefused) {
  for (const char* head : {"POST / HTTP/1.1\r\nContent-Length: 12a\r\n\r\n",
                           "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
                           "POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n",
                           "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n",
                           "POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n"}) {
    RequestFraming f;
    EXPECT_FALSE(f.Start(head)) << head;
  }
  RequestFraming same;
  EXPECT_TRUE(same.Start("POST / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 3\r\n\r\n"));
  EXPECT_EQ(Take(same, "abcd"), 3u);
}

}  // namespace
}  // namespace web
