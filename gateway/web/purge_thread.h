// CCachePurgeThread: the background thread that keeps the cache directory under its size
// limit. It owns its "CacheMsg" target and the timer on it; each timer tick with caching on
// and the directory present runs one purge pass, announced to the console with
// kMsgPurgeNotice. Started and stopped by the program's main thread only.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/worker_thread.h"

namespace web {

inline constexpr int kFirstPurgeMinutes = 1;
inline constexpr int kSmallCachePurgeMinutes = 30;
inline constexpr uint32_t kSmallCacheLimit = 25u << 20;

// Minutes to the next pass: 1 the first time; then 30 for a limit of at most 25 MiB (in
// whole MiB), else two minutes per MiB of the limit.
[[nodiscard]] int PurgeIntervalFor(bool first_run, uint32_t max_cache_size);

class CCachePurgeThread : public platform::WorkerThread {
 public:
  // Asks the thread to end; a running pass stops at its next file.
  void RequestStop();

 protected:
  bool InitInstance() override;
  bool PreTranslateMessage(platform::Message& msg) override;
  int ExitInstance() override;

 private:
  void ArmPurgeTimer(bool first_run);
  void RunPass();

  platform::TargetId window_ = 0;
  std::atomic<bool> stop_{false};
};

// Start-up step: creates and starts the thread. Shut-down: stops it and waits for it.
void StartPurgeThread();
void StopPurgeThread();

}  // namespace web
