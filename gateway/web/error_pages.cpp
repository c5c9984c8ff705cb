// Error pages and bare texts of the web proxy.
#include "gateway/web/error_pages.h"

#include <sys/socket.h>

#include <cstdio>
#include <cstring>

#include "gateway/engine/opening_wait.h"
#include "gateway/engine/session_account.h"
#include "gateway/web/send_whole.h"

namespace web {
namespace {

constexpr char kPageFormat1[] = "%s%s v%s%s\n";
constexpr char kStatusAndHeadStart[] =
    "HTTP/1.0 500 Internal Server Error\r\n\r\n<HTML><HEAD><TITLE>";
constexpr char kProductName[] = "Wayfarer";
constexpr char kVersion[] = "2.0";
constexpr char kTitleEndBodyStart[] = "Error Notification </TITLE></HEAD><BODY>";
constexpr char kPageFormat2[] = "<H1>%s v%s ";

// Results are not examined: the connection is closed whatever happens.
void SendText(platform::Socket client, const char* text, size_t n) {
  [[maybe_unused]] int rc = SendWhole(client, text, n);
}

}  // namespace

void SendErrorPageHead(platform::Socket client) {
  char head[sizeof kStatusAndHeadStart + sizeof kProductName + sizeof kVersion +
            sizeof kTitleEndBodyStart + 8];
  int n = std::snprintf(head, sizeof head, kPageFormat1, kStatusAndHeadStart, kProductName,
                        kVersion, kTitleEndBodyStart);
  SendText(client, head, static_cast<size_t>(n));
  char heading[sizeof kProductName + sizeof kVersion + 8];
  n = std::snprintf(heading, sizeof heading, kPageFormat2, kProductName, kVersion);
  SendText(client, heading, static_cast<size_t>(n));
}

void SendErrorPage(platform::Socket client, const char* message) {
  SendErrorPageHead(client);
  SendText(client, message, std::strlen(message));
}

void SendBareText(platform::Socket client, const char* text) {
  SendText(client, text, std::strlen(text));
}

void FinishAnswer(platform::Socket client) { engine::DrainAfterAnswer(client); }

std::string AnswerEnding(const char* message) {
  if (message == kAccessDeniedMessage) return engine::kEndDenied;
  std::string text(message, std::strcspn(message, "<"));
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace web
