// Keep-alive requests and their forwarded form.
#include "gateway/web/persistent_request.h"

#include <algorithm>
#include <vector>

#include "gateway/web/header_fields.h"
#include "gateway/web/request_head.h"

namespace web {
namespace {

std::string HeadOf(const std::string& request) {
  size_t end = HeadEnd(request);
  return end == std::string::npos ? request : request.substr(0, end);
}

std::vector<std::string> ConnectionMembers(const std::string& head) {
  std::vector<std::string> members = ListMembers(HeaderValues(head, "connection"));
  std::vector<std::string> proxy = ListMembers(HeaderValues(head, "proxy-connection"));
  members.insert(members.end(), proxy.begin(), proxy.end());
  return members;
}

}  // namespace

bool WantsKeepAlive(const std::string& request) {
  std::string head = HeadOf(request);
  std::string_view line = TrimField(std::string_view(head).substr(0, head.find('\n')));
  constexpr std::string_view kVersion = " HTTP/1.1";
  if (line.size() < kVersion.size() || line.substr(line.size() - kVersion.size()) != kVersion) {
    return false;
  }
  std::vector<std::string> members = ConnectionMembers(head);
  return std::find(members.begin(), members.end(), "close") == members.end();
}

bool IsHeadRequest(const std::string& request) { return request.compare(0, 5, "HEAD ") == 0; }

std::string PersistentRequestHeaders(const std::string& request) {
  std::vector<std::string> names = {"connection", "proxy-connection", "keep-alive",
                                    "te",         "trailer",          "upgrade"};
  std::vector<std::string> listed = ListMembers(HeaderValues(HeadOf(request), "connection"));
  names.insert(names.end(), listed.begin(), listed.end());
  return WithoutHeaders(request, names, "");
}

}  // namespace web
