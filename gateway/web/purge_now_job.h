// "Purge Now" of the Cache page: the question (W-10037) and the directory check (E-10038) on
// the caller's thread, then the emptying on a thread of its own while PurgeRunning is set and
// announced to the console with kMsgPurgeNotice as a timed pass is, so the console plays its
// activity indicator and keeps the page disabled until the cache is empty. One emptying at a
// time; the lock guards the job's thread, and the program's teardown waits for it.
#pragma once

#include <string>

namespace web {

enum class PurgeNowStart {
  kStarted,   // the cache is being emptied; notices 1 now and 0 at the end
  kDeclined,  // answered No
  kMissing,   // the directory does not exist (E-10038 was shown)
  kBusy,      // a pass or an emptying runs already
};

[[nodiscard]] PurgeNowStart StartPurgeNow(const std::string& location);
// Waits for the running emptying, if any (teardown, tests).
void WaitForPurgeNow();

}  // namespace web
