// The purge thread: timer, pass and notices.
#include "gateway/web/purge_thread.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/session_registry.h"
#include "gateway/web/cache_settings.h"
#include "gateway/web/purge_pass.h"

namespace web {
namespace {

// Below-normal priority: a few steps of niceness for this thread only.
constexpr int kBelowNormalNice = 5;

std::unique_ptr<CCachePurgeThread> g_thread;  // main thread only

void Notify(long started) {
  platform::TargetId console = engine::ConsoleTarget();
  if (console != 0) platform::PostMessage(console, engine::kMsgPurgeNotice, 0, started);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int PurgeIntervalFor(bool first_run, uint32_t max_cache_size) {
  if (first_run) return kFirstPurgeMinutes;
  uint32_t whole = max_cache_size & ~((1u << 20) - 1);
  if (whole <= kSmallCacheLimit) return kSmallCachePurgeMinutes;
  return static_cast<int>(whole >> 19);
}

void CCachePurgeThread::RequestStop() {
  stop_.store(true);
  platform::PostThreadMessage(thread_id(), platform::kWmQuit, 0, 0);
}

bool CCachePurgeThread::InitInstance() {
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kBelowNormalNice);
  window_ = platform::CreateTarget();
  ArmPurgeTimer(true);
  return true;
}

void CCachePurgeThread::ArmPurgeTimer(bool first_run) {
  int minutes = PurgeIntervalFor(first_run, CurrentCacheSettings().max_cache_size);
  SetPurgeIntervalMinutes(minutes);
  platform::SetTimer(window_, thread_id(), static_cast<unsigned>(minutes) * 60000u);
}

void CCachePurgeThread::RunPass() {
  CacheSettings settings = CurrentCacheSettings();
  // With caching off or no directory the timer keeps running and nothing happens.
  if (!settings.enable_cache || !DirectoryExists(settings.cache_location)) return;
  platform::KillTimer(window_, thread_id());
  SetPurgeRunning(true);
  Notify(1);
  [[maybe_unused]] int rc = PurgeCache(settings.cache_location, settings.max_cache_size, stop_);
  SetPurgeRunning(false);
  Notify(0);
  ArmPurgeTimer(false);
}

bool CCachePurgeThread::PreTranslateMessage(platform::Message& msg) {
  if (msg.message == platform::kWmTimer && msg.target == window_ && !stop_.load()) RunPass();
  return true;
}

int CCachePurgeThread::ExitInstance() {
  if (window_ != 0) platform::DestroyTarget(window_);
  window_ = 0;
  return 0;
}

void StartPurgeThread() {
  if (g_thread) return;
  auto thread = std::make_unique<CCachePurgeThread>();
  thread->set_auto_delete(false);
  if (thread->CreateThread()) g_thread = std::move(thread);
}

void StopPurgeThread() {
  if (!g_thread) return;
  g_thread->RequestStop();
  g_thread->Join();
  g_thread.reset();
}

}  // namespace web
