// Which requests keep their client connection, and what of their header block reaches the
// origin server.
#include "gateway/web/persistent_request.h"

#include <gtest/gtest.h>

#include <string>

namespace web {
namespace {

TEST(WantsKeepAlive, OnlyHttp11WithoutClose) {
  const std::pair<const char*, bool> cases[] = {
      {"GET /a HTTP/1.1\r\nHost: h\r\n\r\n", true},
      {"GET /a HTTP/1.1\n\n", true},
      {"GET /a HTTP/1.1\r\nConnection: keep-alive\r\n\r\n", true},
      {"GET /a HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", false},
      {"GET /a HTTP/1.0\r\nProxy-Connection: keep-alive\r\n\r\n", false},
      {"GET /a HTTP/1.1\r\nConnection: Upgrade, CLOSE\r\n\r\n", false},
      {"GET /a HTTP/1.1\r\nProxy-Connection: close\r\n\r\n", false},
      {"GET /a HTTP/1.10\r\n\r\n", false},
      // A body that looks like a field does not count.
      {"POST /a HTTP/1.1\r\nContent-Length: 19\r\n\r\nConnection: close\r\n", true},
  };
  for (const auto& [request, wanted] : cases) {
    EXPECT_EQ(WantsKeepAlive(request), wanted) << request;
  }
}

TEST(PersistentRequestHeaders, DropsHopByHopFieldsAndTheFieldsConnectionNames) {
  std::string in =
      "POST /a HTTP/1.1\r\nHost: h\r\nConnection: keep-alive, X-Private\r\nX-Private: 1\r\n"
      "Keep-Alive: 300\r\nTE: trailers\r\nTrailer: X\r\nUpgrade: y\r\n"
      "Proxy-Connection: keep-alive\r\nX-Kept: 2,\r\n folded\r\nContent-Length: 4\r\n\r\nbody";
  EXPECT_EQ(PersistentRequestHeaders(in),
            "POST /a HTTP/1.1\r\nHost: h\r\nX-Kept: 2,\r\n folded\r\nContent-Length: 4\r\n\r\n"
            "body");
  EXPECT_EQ(PersistentRequestHeaders("GET / HTTP/1.1\nHost: h\n\n"), "GET / HTTP/1.1\nHost: h\n\n");
}

TEST(IsHeadRequest, MethodIsCaseSensitive) {
  EXPECT_TRUE(IsHeadRequest("HEAD / HTTP/1.1\r\n\r\n"));
  EXPECT_FALSE(IsHeadRequest("head / HTTP/1.1\r\n\r\n"));
  EXPECT_FALSE(IsHeadRequest("HEADER / HTTP/1.1\r\n\r\n"));
}

}  // namespace
}  // namespace web
