// Request facts, response classification and time-to-live rules of the web cache. Every
// header test looks for its word anywhere in the lower-cased text, not only at a line start.
#include "gateway/web/cache_rules.h"

#include <cctype>
#include <cstring>

#include "gateway/web/content_coding.h"

namespace web {
namespace {

constexpr size_t kUserAgentWidth = 254;

// Application subtypes never kept; compared exactly up to the carriage return.
const char* const kArchiveSubtypes[] = {"zip",          "x-gtar",    "x-tar",
                                        "x-ustar",      "x-shar",    "x-pdf",
                                        "mac-binhex40", "x-stuffit", "octet-stream"};
const char* const kForbidding[] = {"www-authenticate", "set-cookie", "vary", "no-cache"};

bool ArchiveType(const std::string& lower) {
  size_t at = lower.find("content-type:");
  if (at == std::string::npos) return false;
  size_t type_start = at + std::strlen("content-type:");
  size_t slash = lower.find('/', type_start);
  if (slash == std::string::npos) return false;
  std::string type = lower.substr(type_start, slash - type_start);
  size_t lead = type.find_first_not_of(' ');
  type = lead == std::string::npos ? std::string() : type.substr(lead);
  if (type != "application") return false;
  size_t cr = lower.find('\r', slash + 1);
  std::string subtype = lower.substr(slash + 1, cr == std::string::npos ? cr : cr - slash - 1);
  for (const char* listed : kArchiveSubtypes) {
    if (subtype == listed) return true;
  }
  return false;
}

int StatusOf(const std::string& lower) {
  size_t at = lower.find("http/");
  if (at == std::string::npos) return -1;
  size_t blank = lower.find(' ', at);
  if (blank == std::string::npos) return -1;
  size_t start = lower.find_first_not_of(' ', blank);
  if (start == std::string::npos) return -1;
  size_t end = lower.find_first_of(" \r\n", start);
  std::string code = lower.substr(start, end == std::string::npos ? end : end - start);
  if (code == "200") return 200;
  if (code == "304") return 304;
  if (code == "404") return 404;
  return -1;
}

// The n-th (0-based) blank-delimited token of the request line.
std::string RequestToken(const std::string& request, int n) {
  size_t line_end = request.find_first_of("\r\n");
  std::string line = request.substr(0, line_end);
  size_t pos = 0;
  for (int i = 0;; ++i) {
    pos = line.find_first_not_of(' ', pos);
    if (pos == std::string::npos) return std::string();
    size_t end = line.find(' ', pos);
    if (i == n) return line.substr(pos, end == std::string::npos ? end : end - pos);
    if (end == std::string::npos) return std::string();
    pos = end;
  }
}

}  // namespace

std::string Lowered(const char* data, size_t length) {
  std::string out(data, length);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

RevalidationMode RevalidationModeOf(const std::string& lower) {
  size_t no_cache = lower.find("no-cache");
  size_t ims = lower.find("if-modified-since");
  if (no_cache == std::string::npos && ims == std::string::npos) return RevalidationMode::kPlain;
  if (ims == std::string::npos) return RevalidationMode::kReload;
  if (no_cache == std::string::npos || ims < no_cache) return RevalidationMode::kClientConditional;
  return RevalidationMode::kReload;
}

RequestFacts ReadRequestFacts(const std::string& request) {
  RequestFacts facts;
  std::string lower = Lowered(request.data(), request.size());
  size_t agent = lower.find("user-agent");
  if (agent != std::string::npos) {
    size_t lf = lower.find('\n', agent);
    if (lf != std::string::npos) {
      std::string line = lower.substr(agent, std::min(lf - agent, kUserAgentWidth));
      facts.msie = line.find("msie") != std::string::npos;
    }
  }
  facts.mode = RevalidationModeOf(lower);
  facts.if_modified_since = lower.find("if-modified-since") != std::string::npos;
  facts.authorization = lower.find("authorization") != std::string::npos;
  facts.is_get = RequestToken(lower, 0) == "get";
  facts.url = RequestToken(request, 1);
  return facts;
}

bool DynamicName(const std::string& name) {
  // Names keep the URL's case; the words are matched in any case.
  std::string lower = Lowered(name.data(), name.size());
  return lower.find('?') != std::string::npos || lower.find("cgi-bin") != std::string::npos ||
         lower.find(".asp") != std::string::npos;
}

int ClassifyResponse(const char* head, size_t length) {
  // The block is copied up to its first NUL, as a zero-terminated copy would be.
  size_t n = strnlen(head, length);
  std::string lower = Lowered(head, n);
  if (ArchiveType(lower)) return -1;
  for (const char* word : kForbidding) {
    if (lower.find(word) != std::string::npos) return -1;
  }
  if (CacheControlForbidsStore(lower)) return -1;
  return StatusOf(lower);
}

size_t FindHeaderEnd(const char* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (i + 4 <= length && std::memcmp(data + i, "\r\n\r\n", 4) == 0) return i;
    if (i + 2 <= length && data[i] == '\n' && data[i + 1] == '\n') return i;
  }
  return std::string::npos;
}

size_t HeaderEndLength(const char* data, size_t at) { return data[at] == '\r' ? 4 : 2; }

int64_t DeclaredContentLength(const std::string& lower_head) {
  size_t at = lower_head.find("\ncontent-length:");
  if (at == std::string::npos) return -1;
  size_t pos = lower_head.find_first_not_of(" \t", at + std::strlen("\ncontent-length:"));
  if (pos == std::string::npos || !std::isdigit(static_cast<unsigned char>(lower_head[pos]))) {
    return -1;
  }
  int64_t value = 0;
  for (; pos < lower_head.size() && std::isdigit(static_cast<unsigned char>(lower_head[pos]));
       ++pos) {
    if (value > (INT64_MAX - 9) / 10) return -1;
    value = value * 10 + (lower_head[pos] - '0');
  }
  return value;
}

int64_t TtlSeconds(int64_t count, int unit) {
  if (unit == kTtlHours) return count * 3600;
  if (unit == kTtlDays) return count * 86400;
  return count * 604800;
}

int64_t LookupTtlIn(const CacheExceptions& exceptions, const CacheSettings& settings,
                    const std::string& host_text) {
  auto it = exceptions.find(host_text);
  if (it == exceptions.end() || it->second.size() < 2) {
    return TtlSeconds(settings.ttl, settings.ttl_unit);
  }
  int count = static_cast<unsigned char>(it->second[0]) - 1;
  if (count <= 0) return 0;
  return TtlSeconds(count, static_cast<unsigned char>(it->second[1]));
}

int64_t LookupTtl(const std::string& host_text) {
  return LookupTtlIn(CurrentCacheExceptions(), CurrentCacheSettings(), host_text);
}

}  // namespace web
