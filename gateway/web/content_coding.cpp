// Content codings (RFC 9110 sections 8.4 and 12.5.3) and Cache-Control's storing directives
// (RFC 9111 section 5.2.2).
#include "gateway/web/content_coding.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <vector>

#include "gateway/web/cache_record.h"
#include "gateway/web/cache_rules.h"
#include "gateway/web/header_fields.h"

namespace web {
namespace {

std::string Canonical(std::string_view coding) {
  if (coding == "x-gzip") return "gzip";
  if (coding == "x-compress") return "compress";
  return std::string(coding);
}

// The q-value of a member "coding;q=0.5" (1 when none is given).
double QualityOf(std::string_view member) {
  size_t semi = member.find(';');
  if (semi == std::string_view::npos) return 1;
  std::string_view params = member.substr(semi + 1);
  size_t q = params.find("q=");
  if (q == std::string_view::npos) return 1;
  return std::strtod(std::string(params.substr(q + 2)).c_str(), nullptr);
}

}  // namespace

std::string ContentCodingOf(const std::string& head) {
  std::vector<std::string> codings = ListMembers(HeaderValues(head, "content-encoding"));
  std::string all;
  for (const std::string& coding : codings) {
    if (coding == "identity") continue;
    if (!all.empty()) all += ",";
    all += Canonical(coding);
  }
  return all;
}

std::string StoredContentCoding(const std::string& full_path) {
  int fd = open(full_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return "";
  std::string head(kHeaderBufferSize, '\0');
  ssize_t n = pread(fd, head.data(), head.size(), static_cast<off_t>(kCacheRecordSize));
  close(fd);
  if (n <= 0) return "";
  head.resize(static_cast<size_t>(n));
  size_t end = FindHeaderEnd(head.data(), head.size());
  if (end == std::string::npos) return "";
  head.resize(end);
  return ContentCodingOf(head);
}

bool AcceptsCoding(const std::string& request, const std::string& coding) {
  if (coding.empty()) return true;
  std::vector<std::string> offered = ListMembers(HeaderValues(request, "accept-encoding"));
  // A stacked coding ("gzip,br") needs every one of its codings.
  size_t pos = 0;
  while (pos <= coding.size()) {
    size_t comma = coding.find(',', pos);
    if (comma == std::string::npos) comma = coding.size();
    std::string wanted = coding.substr(pos, comma - pos);
    bool named = false;
    double quality = 0;
    double star = 0;
    for (const std::string& member : offered) {
      std::string token =
          Canonical(TrimField(std::string_view(member).substr(0, member.find(';'))));
      if (token == wanted) {
        named = true;
        quality = QualityOf(member);
      } else if (token == "*") {
        star = QualityOf(member);
      }
    }
    if ((named ? quality : star) <= 0) return false;
    pos = comma + 1;
  }
  return true;
}

bool CacheControlForbidsStore(const std::string& lower_head) {
  for (const std::string& member : ListMembers(HeaderValues(lower_head, "cache-control"))) {
    std::string_view name = TrimField(std::string_view(member).substr(0, member.find('=')));
    if (name == "no-store" || name == "private") return true;
  }
  return false;
}

}  // namespace web
