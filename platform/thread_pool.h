// A reserve of parked session-sized threads. Starting a session on a parked thread costs a
// wake-up instead of a thread creation; a thread that finished its job parks again (at most
// kMaxParked of them, each for at most kParkSeconds). Thread-safe.
#pragma once

namespace platform {

inline constexpr int kMaxParked = 64;
inline constexpr int kParkSeconds = 30;

// Runs job(arg) on a parked thread or, when none is parked, on a new detached thread with
// a stack of stack_bytes. False when no thread could be had (job does not run).
[[nodiscard]] bool RunOnPooledThread(void (*job)(void*), void* arg, unsigned long stack_bytes);

// Pooled thread only: job(arg) runs on the calling thread as soon as its current job returns,
// instead of the thread parking and another being woken. False when the calling thread is
// not a pooled one or already has a next job (job does not run).
[[nodiscard]] bool RunNextOnThisThread(void (*job)(void*), void* arg);

}  // namespace platform
