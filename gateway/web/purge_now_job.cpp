// The Purge Now job's thread.
#include "gateway/web/purge_now_job.h"

#include <sys/stat.h>

#include <mutex>
#include <thread>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/gateway_app.h"
#include "gateway/engine/session_registry.h"
#include "gateway/web/cache_settings.h"
#include "gateway/web/purge_pass.h"
#include "platform/admin_message.h"

namespace web {
namespace {

std::mutex g_lock;
std::thread g_thread;    // guarded by g_lock
bool g_running = false;  // guarded by g_lock

void Notify(long started) {
  platform::TargetId console = engine::ConsoleTarget();
  if (console != 0) platform::PostMessage(console, engine::kMsgPurgeNotice, 0, started);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void Empty(std::string location) {
  [[maybe_unused]] int rc = EmptyCacheDirectory(location);
  // Under the lock, so a new start's notice 1 cannot come before this 0.
  std::lock_guard lock(g_lock);
  SetPurgeRunning(false);
  Notify(0);
  g_running = false;
}

}  // namespace

PurgeNowStart StartPurgeNow(const std::string& location) {
  if (platform::ShowAdminMessage(engine::kAppCaption, kW10037, platform::MessageIcon::kQuestion,
                                 platform::MessageButtons::kYesNo) != platform::kIdYes) {
    return PurgeNowStart::kDeclined;
  }
  if (!DirectoryExists(location)) {
    platform::ShowAdminMessage(engine::kAppCaption, kE10038, platform::MessageIcon::kExclamation);
    return PurgeNowStart::kMissing;
  }
  std::lock_guard lock(g_lock);
  if (g_running || PurgeRunning()) return PurgeNowStart::kBusy;
  if (g_thread.joinable()) g_thread.join();  // the last one has ended: g_running is false
  g_running = true;
  SetPurgeRunning(true);
  Notify(1);
  g_thread = std::thread(Empty, location);
  return PurgeNowStart::kStarted;
}

void WaitForPurgeNow() {
  std::thread thread;
  {
    std::lock_guard lock(g_lock);
    thread = std::move(g_thread);
  }
  if (thread.joinable()) thread.join();
}

}  // namespace web
