// What a test may ask about another thread's message queue, so it can hand work to a thread it
// knows is blocked instead of sleeping and hoping. Nothing outside tests should depend on it.
// Thread-safe: any thread may ask about any thread.
#pragma once

#include "platform/message_queue.h"

namespace platform {

// True while thread sleeps in GetMessage or WaitMessage with nothing to take; false when it is
// busy or has no queue.
[[nodiscard]] bool ThreadIsWaiting(ThreadId thread);

}  // namespace platform
