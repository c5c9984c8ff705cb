// The reload action and the display mode's SIGHUP watcher.
#include "gateway/reload_signal.h"

#include <pthread.h>

#include <QCoreApplication>
#include <cstdio>

#include "gateway/engine/access_log.h"
#include "gateway/engine/settings_reload.h"
#include "platform/service_notify.h"

namespace gateway {

std::function<void()> ReloadAction(const engine::StartupHooks& hooks) {
  return [load_cache = hooks.load_cache_settings] {
    platform::NotifyServiceManager("RELOADING=1");
    const engine::ReloadCounts counts = engine::ReloadEngineSettings();
    if (load_cache) load_cache();
    engine::NoteSettingsReloaded();
    platform::NotifyServiceManager("READY=1");
    std::fprintf(stderr, "Wayfarer: settings reloaded (%s)\n",
                 engine::DescribeReload(counts).c_str());
  };
}

ReloadWatcher::ReloadWatcher(std::function<void()> reload)
    : reload_(std::move(reload)), thread_([this] {
        sigset_t hang_up;
        sigemptyset(&hang_up);
        sigaddset(&hang_up, SIGHUP);
        sigaddset(&hang_up, SIGUSR1);
        int number = 0;
        while (sigwait(&hang_up, &number) == 0 && !ending_) {
          if (number == SIGUSR1) {
            engine::TheAccessLog().Reopen();
            continue;
          }
          QMetaObject::invokeMethod(QCoreApplication::instance(), reload_, Qt::QueuedConnection);
        }
      }) {}

ReloadWatcher::~ReloadWatcher() {
  ending_ = true;
  pthread_kill(thread_.native_handle(), SIGHUP);
  thread_.join();
}

}  // namespace gateway
