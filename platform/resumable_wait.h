// Suspending a thread until another thread resumes it (the wait of a session for a dial).
// Each thread has one resume event: a resume that arrives before the wait is kept, so it is
// never lost, and each resume releases one wait. Thread-safe.
#pragma once

#include "platform/message_queue.h"

namespace platform {

// Waits until the calling thread is resumed or timeout_ms passes (-1: no bound; callers in
// the gateway always pass one). True when resumed.
[[nodiscard]] bool WaitForResume(int timeout_ms);
// Resumes thread (now, or its next wait when it is not waiting yet).
void ResumeThread(ThreadId thread);

}  // namespace platform
