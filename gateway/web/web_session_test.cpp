// The WWW session in this process on real loopback sockets: the opening's answers and rules,
// and the cache's decisions on requests and responses, with a scripted origin server that
// records what reaches it. Each request runs one FmCsHttpService to its end.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/relay_session.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/session_registry.h"
#include "gateway/web/cache_hook.h"
#include "gateway/web/cache_settings.h"
#include "gateway/web/web_proxy.h"
#include "platform/testing/script_server.h"
#include "platform/testing/temp_store.h"

namespace web {
namespace {

namespace fs = std::filesystem;
using platform::Socket;
using platform::testing::ReadToClose;
using platform::testing::ReadUntil;
using platform::testing::ScriptServer;
using platform::testing::SendText;

constexpr char kLastModified[] = "Thu, 01 Dec 1994 16:00:00 GMT";
constexpr char kPageHead[] =
    "HTTP/1.0 500 Internal Server Error\r\n\r\n<HTML><HEAD><TITLE>Wayfarer v2.0Error "
    "Notification </TITLE></HEAD><BODY>\n<H1>Wayfarer v2.0 ";

// A cacheable answer of the origin carrying body.
std::string Ok(const std::string& body, const std::string& extra = "") {
  return "HTTP/1.0 200 OK\r\nLast-Modified: " + std::string(kLastModified) + "\r\n" + extra +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class WebSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterWebProxy();
    InstallCacheHook();
    listener_ = platform::testing::ListenLoopback();
    ASSERT_NE(listener_, platform::kInvalidSocket);
    ASSERT_NE(origin_.port(), 0);
    origin_host_ = "127.0.0.1:" + std::to_string(origin_.port());
    location_ = store_.dir() + "/cache/";
    CacheSettings settings;
    settings.enable_cache = true;
    settings.enable_lookups = true;
    settings.max_cache_size = 64u << 20;
    settings.ttl_unit = kTtlHours;
    settings.ttl = 2;
    settings.cache_location = location_;
    SetCacheSettings(settings);
    SetCacheExceptions({});
  }
  void TearDown() override {
    EXPECT_TRUE(engine::SessionThread::WaitForSessions(platform::testing::kSilenceMs));
    engine::TheAccessRules().Clear();
    SetCacheSettings(CacheSettings{});
    platform::CloseSocket(listener_);
  }

  // Sends request through one new WWW session and returns everything the client got. The
  // session has ended (and put any cache file in place) when this returns.
  std::string Fetch(const std::string& request) {
    auto* session = new engine::FmCsHttpService(listener_, -1, engine::kCodeWww);
    session->set_auto_delete(true);
    EXPECT_TRUE(session->CreateThread());
    Socket c = platform::testing::DialLoopback(platform::LocalPort(listener_));
    EXPECT_NE(c, platform::kInvalidSocket);
    EXPECT_TRUE(SendText(c, request));
    std::string got = ReadToClose(c);
    platform::CloseSocket(c);
    EXPECT_TRUE(engine::SessionThread::WaitForSessions(platform::testing::kSilenceMs));
    return got;
  }
  std::string Get(const std::string& path, const std::string& headers = "") {
    return Fetch("GET http://" + origin_host_ + path + " HTTP/1.0\r\n" + headers + "\r\n");
  }

  // What the origin answers next; the request heads it got, in order.
  void Answer(std::function<std::string(const std::string&)> answer) {
    std::lock_guard lock(mu_);
    answer_ = std::move(answer);
  }
  std::vector<std::string> Requests() {
    std::lock_guard lock(mu_);
    return requests_;
  }
  std::string CacheFile(const std::string& file) {
    return location_ + "127.0.0.1~" + std::to_string(origin_.port()) + "/" + file;
  }
  std::vector<std::string> FilesInCache() {
    std::vector<std::string> names;
    if (!fs::exists(location_)) return names;
    for (const auto& e : fs::recursive_directory_iterator(location_)) {
      if (e.is_regular_file()) names.push_back(e.path().filename().string());
    }
    return names;
  }

  platform::testing::TempStore store_;
  Socket listener_ = platform::kInvalidSocket;
  std::string origin_host_;
  std::string location_;
  std::mutex mu_;
  std::function<std::string(const std::string&)> answer_ = [](const std::string& head) {
    return Ok("page of " + head.substr(0, head.find('\r')));
  };
  std::vector<std::string> requests_;
  ScriptServer origin_{[this](Socket s) {
    std::string head = ReadUntil(s, "\r\n\r\n");
    std::string reply;
    {
      std::lock_guard lock(mu_);
      requests_.push_back(head);
      reply = answer_(head);
    }
    (void)SendText(s, reply);
  }};
};

TEST_F(WebSessionTest, RequestGoesOutInOriginFormAskingTheServerToClose) {
  std::string answer = Get("/a/b", "Proxy-Connection: keep-alive\r\nX-Kept: yes\r\n");
  EXPECT_EQ(answer, Ok("page of GET /a/b HTTP/1.0"));
  std::vector<std::string> requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& head = requests[0];
  EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET /a/b HTTP/1.0");
  EXPECT_NE(head.find("\r\nConnection: close\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("\r\nX-Kept: yes\r\n"), std::string::npos) << head;
  EXPECT_EQ(head.find("Proxy-Connection"), std::string::npos) << head;
}

TEST_F(WebSessionTest, FailuresGetTheirPagesAndTexts) {
  struct Case {
    std::string request, answer;
  } cases[] = {
      {"GET http://no-such-host.invalid/ HTTP/1.0\r\n\r\n",
       std::string(kPageHead) + "Host Not Found </H1><P> Host Name Look Up Failure In DNS "
                                "<P></BODY></HTML>"},
      {"GET http://" + origin_host_ + "/\r\n\r\n", "PROTOCOL Violation"},
      {"GET http://127.0.0.1:99999/ HTTP/1.0\r\n\r\n", "PROTOCOL Violation"},
      {"CONNECT " + origin_host_ + " HTTP/1.0\r\n\r\n",
       std::string(kPageHead) + "Access Denied</H1><P> The Rule Set Does Not Permit This "
                                "Action<P><P>Contact Your Administrator<P></BODY></HTML>"},
  };
  for (const Case& c : cases) EXPECT_EQ(Fetch(c.request), c.answer) << c.request;
  EXPECT_TRUE(Requests().empty());
}

TEST_F(WebSessionTest, EmptyRequestIsClosedWithoutAnAnswer) {
  // Even a rule that denies every web request has nothing to say to a client that said nothing.
  ASSERT_EQ(engine::AddRule(engine::RuleNumberFor(engine::kCodeWww), "", "", ""), 0);
  auto* session = new engine::FmCsHttpService(listener_, -1, engine::kCodeWww);
  session->set_auto_delete(true);
  ASSERT_TRUE(session->CreateThread());
  Socket c = platform::testing::DialLoopback(platform::LocalPort(listener_));
  ASSERT_EQ(::shutdown(c, SHUT_WR), 0);
  EXPECT_EQ(ReadToClose(c), "");
  platform::CloseSocket(c);
  EXPECT_TRUE(Requests().empty());
}

TEST_F(WebSessionTest, KeywordRuleDeniesByTheRequestTextBeforeAnyLookup) {
  ASSERT_EQ(engine::AddRule(engine::RuleNumberFor(engine::kCodeWww), "", "", "forbidden"), 0);
  const std::string denied =
      std::string(kPageHead) +
      "Access Denied</H1><P> The Rule Set Does Not Permit This Action<P><P>Contact Your "
      "Administrator<P></BODY></HTML>";
  EXPECT_EQ(Get("/Forbidden/page"), denied);
  EXPECT_EQ(Get("/page", "X-Topic: FORBIDDEN\r\n"), denied);
  EXPECT_EQ(Fetch("GET http://no-such-host.invalid/forbidden HTTP/1.0\r\n\r\n"), denied);
  EXPECT_TRUE(Requests().empty());
  EXPECT_EQ(Get("/allowed"), Ok("page of GET /allowed HTTP/1.0"));
}

TEST_F(WebSessionTest, SecondGetIsAnsweredFromTheCacheByteForByte) {
  std::string first = Get("/obj/A.html");
  EXPECT_EQ(first, Ok("page of GET /obj/A.html HTTP/1.0"));
  ASSERT_TRUE(fs::exists(CacheFile("~obj~A.html")));
  EXPECT_EQ(Get("/obj/A.html"), first);
  EXPECT_EQ(Requests().size(), 1u);
  // A path differing in case names another object on the server, so another file.
  EXPECT_EQ(Get("/OBJ/a.HTML"), Ok("page of GET /OBJ/a.HTML HTTP/1.0"));
  EXPECT_EQ(Requests().size(), 2u);
}

TEST_F(WebSessionTest, RequestsTheCacheMustNotAnswerAlwaysReachTheOrigin) {
  const std::string requests[] = {
      "GET http://" + origin_host_ + "/auth HTTP/1.0\r\nAuthorization: Basic eDp5\r\n\r\n",
      "POST http://" + origin_host_ + "/post HTTP/1.0\r\nContent-Length: 0\r\n\r\n",
      "GET http://" + origin_host_ + "/q?x=1 HTTP/1.0\r\n\r\n",
      "GET http://" + origin_host_ + "/cgi-bin/run HTTP/1.0\r\n\r\n",
  };
  for (const std::string& request : requests) {
    Fetch(request);
    Fetch(request);
  }
  EXPECT_EQ(Requests().size(), 8u);
  EXPECT_EQ(FilesInCache(), std::vector<std::string>{});
}

TEST_F(WebSessionTest, PathThatTriesToClimbOutIsKeptInsideItsHostDirectory) {
  // The backslash is the cache's directory separator: escaped, it never lets ".." stand alone.
  std::string first = Get("/..\\..\\escape");
  EXPECT_EQ(Get("/..\\..\\escape"), first);
  EXPECT_EQ(Requests().size(), 1u);
  EXPECT_TRUE(fs::exists(CacheFile("~..%5C..%5Cescape")));
  EXPECT_EQ(FilesInCache(), std::vector<std::string>{"~..%5C..%5Cescape"});
  EXPECT_FALSE(fs::exists(store_.dir() + "/escape"));
  EXPECT_FALSE(fs::exists(location_ + "escape"));
}

TEST_F(WebSessionTest, ResponsesTheCacheMustNotKeepAreNotStored) {
  const std::string answers[] = {
      Ok("cookie", "Set-Cookie: a=b\r\n"), Ok("vary", "Vary: Accept\r\n"),
      "HTTP/1.0 302 Found\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n",
      "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\ncut short",  // the server closes early
  };
  int n = 0;
  for (const std::string& answer : answers) {
    Answer([answer](const std::string&) { return answer; });
    std::string path = "/obj/" + std::to_string(n++);
    Get(path);
    Get(path);
  }
  EXPECT_EQ(Requests().size(), 8u);
  EXPECT_EQ(FilesInCache(), std::vector<std::string>{});
}

TEST_F(WebSessionTest, ResponseWithoutLengthIsKeptAfterTheServersOrderlyClose) {
  Answer([](const std::string&) { return std::string("HTTP/1.0 200 OK\r\n\r\nno length"); });
  EXPECT_EQ(Get("/nolength"), "HTTP/1.0 200 OK\r\n\r\nno length");
  EXPECT_EQ(Get("/nolength"), "HTTP/1.0 200 OK\r\n\r\nno length");
  EXPECT_EQ(Requests().size(), 1u);
}

TEST_F(WebSessionTest, ReloadSendsTheProxysConditionalGetAndServesA304FromDisk) {
  std::string first = Get("/reval");
  Answer([](const std::string&) { return std::string("HTTP/1.0 304 Not Modified\r\n\r\n"); });
  EXPECT_EQ(Get("/reval", "Pragma: no-cache\r\n"), first);
  ASSERT_EQ(Requests().size(), 2u);
  EXPECT_NE(Requests()[1].find("\r\nIf-Modified-Since: Thu, 01 Dec 1994 16:00:00 GMT\r\n"),
            std::string::npos)
      << Requests()[1];
}

TEST_F(WebSessionTest, RevalidationAnswered200ReplacesTheOldCopy) {
  Answer([](const std::string&) { return Ok("version one"); });
  Get("/changing");
  Answer([](const std::string&) { return Ok("version two"); });
  EXPECT_EQ(Get("/changing", "Pragma: no-cache\r\n"), Ok("version two"));
  EXPECT_EQ(Get("/changing"), Ok("version two")) << "served from the new copy";
  EXPECT_EQ(Requests().size(), 2u);
}

TEST_F(WebSessionTest, RevalidationAnswered200ThatMayNotBeKeptDropsTheOldCopy) {
  Answer([](const std::string&) { return Ok("version one"); });
  Get("/private");
  ASSERT_TRUE(fs::exists(CacheFile("~private")));
  Answer([](const std::string&) { return Ok("yours only", "Set-Cookie: a=b\r\n"); });
  EXPECT_EQ(Get("/private", "Pragma: no-cache\r\n"), Ok("yours only", "Set-Cookie: a=b\r\n"));
  EXPECT_FALSE(fs::exists(CacheFile("~private")));
  Answer([](const std::string&) { return Ok("version three"); });
  EXPECT_EQ(Get("/private"), Ok("version three"));
  EXPECT_EQ(Requests().size(), 3u);
}

TEST_F(WebSessionTest, CacheSwitchedOffNeitherStoresNorAnswers) {
  CacheSettings off = CurrentCacheSettings();
  off.enable_cache = false;
  off.enable_lookups = false;
  SetCacheSettings(off);
  Get("/obj/off");
  Get("/obj/off");
  EXPECT_EQ(Requests().size(), 2u);
  EXPECT_EQ(FilesInCache(), std::vector<std::string>{});
}

TEST_F(WebSessionTest, HostWithCountZeroIsNeverCached) {
  SetCacheExceptions({{origin_host_, std::string{static_cast<char>(1), static_cast<char>(1)}}});
  Get("/obj/e");
  Get("/obj/e");
  EXPECT_EQ(Requests().size(), 2u);
  EXPECT_EQ(FilesInCache(), std::vector<std::string>{});
}

// Between two requests on a kept connection the session is off the Connections list (each
// request is listed on its own) and still ends at a kill. The origin keeps its connection for
// the next request, as a kept-alive server does; one that closed after each answer could close
// just as the gateway reused the connection, and that request would get no answer.
TEST_F(WebSessionTest, KeptConnectionIsUnlistedBetweenRequestsAndTakesTheKill) {
  std::atomic<int> served{0};
  ScriptServer keeping([&](Socket s) {
    while (!ReadUntil(s, "\r\n\r\n").empty()) {
      ++served;
      if (!SendText(s, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")) break;
    }
  });
  ASSERT_NE(keeping.port(), 0);
  auto* session = new engine::FmCsHttpService(listener_, -1, engine::kCodeWww);
  session->set_auto_delete(true);
  ASSERT_TRUE(session->CreateThread());
  Socket c = platform::testing::DialLoopback(platform::LocalPort(listener_));
  ASSERT_NE(c, platform::kInvalidSocket);
  const std::string request = "GET http://127.0.0.1:" + std::to_string(keeping.port()) +
                              "/k?not=cached HTTP/1.1\r\nHost: h\r\n\r\n";
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(SendText(c, request));
    EXPECT_EQ(ReadUntil(c, "\r\n\r\nok"), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")
        << "round " << round;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(5000);
    while (engine::CountSessions() != 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(engine::CountSessions(), 0);
    EXPECT_EQ(engine::SessionThread::LiveSessions(), 1);
  }
  EXPECT_EQ(served.load(), 2);
  EXPECT_EQ(keeping.connections(), 1) << "the server connection was not kept for the next request";
  engine::SessionThread::KillAll();
  // Well before the keep-alive bound.
  EXPECT_TRUE(engine::SessionThread::WaitForSessions(5000));
  engine::SessionThread::AllowSessions();
  EXPECT_EQ(ReadToClose(c), "");
  platform::CloseSocket(c);
}

}  // namespace
}  // namespace web
