// RewriteRequestLine. The line is split at blanks; the URL is split into scheme, host text
// and path at slashes.
#include "gateway/web/request_line.h"

#include <string_view>

namespace web {
namespace {

// The next blank-delimited token of line from *pos (runs of blanks skipped); "" when none.
std::string_view NextToken(std::string_view line, size_t* pos) {
  size_t begin = line.find_first_not_of(' ', *pos);
  if (begin == std::string_view::npos) {
    *pos = line.size();
    return {};
  }
  size_t end = line.find(' ', begin);
  if (end == std::string_view::npos) end = line.size();
  *pos = end;
  return line.substr(begin, end - begin);
}

// Splits "scheme://host/path" into host text and path (without its leading slash).
// The scheme is whatever stands before the first slash; false when no host follows.
bool SplitUrl(std::string_view url, std::string_view* host, std::string_view* path) {
  size_t slash = url.find('/');
  if (slash == std::string_view::npos) return false;
  size_t host_begin = url.find_first_not_of('/', slash);
  if (host_begin == std::string_view::npos) return false;
  size_t host_end = url.find('/', host_begin);
  if (host_end == std::string_view::npos) {
    *host = url.substr(host_begin);
    *path = {};
  } else {
    *host = url.substr(host_begin, host_end - host_begin);
    *path = url.substr(host_end + 1);
  }
  return true;
}

}  // namespace

int RewriteRequestLine(std::string* request, std::string* host_text, bool* is_connect) {
  *is_connect = false;
  size_t line_end = request->find('\n');
  if (line_end == std::string::npos) line_end = request->size();
  std::string_view line(request->data(), line_end);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  size_t pos = 0;
  std::string_view method = NextToken(line, &pos);
  if (method.empty()) return -1;
  std::string_view url = NextToken(line, &pos);
  if (method == "CONNECT") {
    if (url.empty()) return -1;
    *host_text = std::string(url);
    *is_connect = true;
    request->assign("CONNECT");
    return 0;
  }
  std::string_view host;
  std::string_view path;
  if (url.empty() || !SplitUrl(url, &host, &path)) return -1;
  // The version and anything after it on the line are kept as the client wrote them.
  size_t tail_begin = line.find_first_not_of(' ', pos);
  if (tail_begin == std::string_view::npos) return -1;
  std::string rewritten;
  rewritten.reserve(request->size());
  rewritten.append(method).append(" /").append(path).append(" ");
  rewritten.append(*request, tail_begin, std::string::npos);
  *host_text = std::string(host);
  request->swap(rewritten);
  return 0;
}

}  // namespace web
