// Access-log lines, the setting that places the file, and the writer thread.
#include "gateway/engine/access_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "gateway/engine/config_store.h"
#include "gateway/engine/store_access.h"

namespace engine {
namespace {

constexpr size_t kAccessLogPathWidth = 1024;

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && v[0] != '\0' ? v : fallback;
}

}  // namespace

std::string EncodeAccessField(const std::string& text) {
  if (text.empty()) return "-";
  if (text == "-") return "%2D";
  std::string out;
  for (unsigned char c : text) {
    if (c <= 0x20 || c == '%' || c >= 0x7f) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string FormatAccessLine(const AccessRecord& r) {
  const auto since_epoch = r.ended.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch - seconds);
  const std::time_t t = static_cast<std::time_t>(seconds.count());
  std::tm utc{};
  gmtime_r(&t, &utc);
  char when[96];
  std::snprintf(when, sizeof when, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(millis.count()));
  char duration[32];
  const long long ms = r.duration.count() < 0 ? 0 : r.duration.count();
  std::snprintf(duration, sizeof duration, "%lld.%03lld", ms / 1000, ms % 1000);
  auto count = [](int64_t n) { return n < 0 ? std::string("-") : std::to_string(n); };
  return std::string(when) + " " + duration + " " + EncodeAccessField(r.client) + " " +
         EncodeAccessField(r.service) + " " + EncodeAccessField(r.destination) + " " +
         count(r.from_client) + " " + count(r.to_client) + " " + EncodeAccessField(r.ending);
}

std::string AccessLogPath() {
  platform::RegKey key;
  if (OpenSubkey(kKeyConfiguration, "", /*create=*/false, &key) == 0) {
    std::string stored;
    const bool present = GetString(key, "AccessLog", kAccessLogPathWidth, &stored);
    platform::RegCloseKey(key);
    if (present) return stored;  // "" turns the log off
  }
  const char* logs = std::getenv("LOGS_DIRECTORY");
  if (logs != nullptr && logs[0] != '\0') {
    std::string first = logs;
    return first.substr(0, first.find(':')) + "/access.log";
  }
  if (geteuid() == 0) return "/var/log/wayfarer/access.log";
  return EnvOr("XDG_STATE_HOME", EnvOr("HOME", "") + "/.local/state") + "/wayfarer/access.log";
}

bool AccessLog::OpenFile() {
  const size_t slash = path_.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    const std::string dir = path_.substr(0, slash);
    const size_t parent = dir.rfind('/');
    if (parent != std::string::npos && parent > 0) mkdir(dir.substr(0, parent).c_str(), 0700);
    mkdir(dir.c_str(), 0750);
  }
  fd_ = open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
  if (fd_ < 0) {
    std::fprintf(stderr, "Wayfarer: cannot open the access log %s: %s\n", path_.c_str(),
                 std::strerror(errno));
    return false;
  }
  return true;
}

bool AccessLog::Start(const std::string& path) {
  Stop();
  path_ = path;
  if (!OpenFile()) return false;
  if (platform::UnderJournal()) journal_.Open("wayfarer");
  {
    std::lock_guard lock(mu_);
    running_ = true;
  }
  writer_ = std::thread([this] { WriterLoop(); });
  return true;
}

void AccessLog::Stop() {
  {
    std::lock_guard lock(mu_);
    if (!running_) return;
    running_ = false;
  }
  wake_.notify_all();
  writer_.join();
  journal_.Close();
}

bool AccessLog::Submit(const AccessRecord& record) {
  std::string line = FormatAccessLine(record) + "\n";
  {
    std::lock_guard lock(mu_);
    if (!running_ || queue_.size() >= capacity_) {
      ++dropped_;
      return false;
    }
    queue_.push_back(std::move(line));
  }
  wake_.notify_one();
  return true;
}

void AccessLog::Reopen() {
  {
    std::lock_guard lock(mu_);
    reopen_ = true;
  }
  wake_.notify_one();
}

uint64_t AccessLog::dropped() const {
  std::lock_guard lock(mu_);
  return dropped_;
}

void AccessLog::WriterLoop() {
  for (;;) {
    std::deque<std::string> batch;
    bool reopen = false;
    bool running = true;
    uint64_t dropped = 0;
    {
      std::unique_lock lock(mu_);
      wake_.wait(lock, [this] { return !running_ || reopen_ || !queue_.empty(); });
      batch.swap(queue_);
      reopen = reopen_;
      reopen_ = false;
      running = running_;
      dropped = dropped_;
    }
    if (reopen) {
      if (fd_ >= 0) close(fd_);
      fd_ = -1;
      (void)OpenFile();
    }
    std::string text;
    for (const std::string& line : batch) text += line;
    for (size_t done = 0; fd_ >= 0 && done < text.size();) {
      const ssize_t n = write(fd_, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        std::fprintf(stderr, "Wayfarer: access log write failed: %s\n", std::strerror(errno));
        break;
      }
      done += static_cast<size_t>(n);
    }
    ToJournal(batch);
    if (dropped != reported_dropped_) {
      std::fprintf(stderr, "Wayfarer: access log queue full, %llu line(s) dropped so far\n",
                   static_cast<unsigned long long>(dropped));
      reported_dropped_ = dropped;
    }
    if (!running) break;
  }
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void AccessLog::ToJournal(const std::deque<std::string>& lines) {
  if (!journal_.is_open()) return;
  const uint64_t lost_before = journal_lost_;
  for (const std::string& line : lines) {
    if (!journal_.Send(line.substr(0, line.size() - 1))) ++journal_lost_;
  }
  // Reported once per batch that lost any, not once per line.
  if (journal_lost_ != lost_before) {
    std::fprintf(stderr, "Wayfarer: the journal did not take %llu access log line(s) so far\n",
                 static_cast<unsigned long long>(journal_lost_));
  }
}

AccessLog& TheAccessLog() {
  static AccessLog* log = new AccessLog();  // never destroyed: sessions may end until exit
  return *log;
}

void LogSessionEnd(const AccessRecord& record) { (void)TheAccessLog().Submit(record); }

std::chrono::milliseconds AgeSince(std::chrono::steady_clock::time_point started) {
  const auto age = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  return age.count() > 0 ? age : std::chrono::milliseconds(0);
}

std::string StartProcessAccessLog() {
  const std::string path = AccessLogPath();
  if (path.empty() || !TheAccessLog().Start(path)) return "";
  std::atexit([] { TheAccessLog().Stop(); });
  return path;
}

}  // namespace engine
