// Message targets (our stand-in for hidden windows), one message queue per thread, timers and
// socket event notification with Winsock's AsyncSelect rules.
// A target belongs to the thread that created it; any thread may post to it. Each thread's
// queue is created on its first call here and dies with the thread (its targets with it).
// Thread-safe: every function may be called from any thread unless its comment says otherwise.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

using Wparam = uintptr_t;
using Lparam = intptr_t;
using TargetId = uint32_t;  // 0: no target
using ThreadId = uint32_t;  // 0: no thread

inline constexpr unsigned kWmNull = 0x0000;
inline constexpr unsigned kWmClose = 0x0010;
inline constexpr unsigned kWmQuit = 0x0012;
inline constexpr unsigned kWmTimer = 0x0113;
inline constexpr unsigned kWmUser = 0x0400;

struct Message {
  TargetId target = 0;  // 0 for thread messages
  unsigned message = kWmNull;
  Wparam wparam = 0;
  Lparam lparam = 0;
};

// Socket events of AsyncSelect. The message's lParam carries the event in its low 16 bits and
// a Winsock error number in its high 16 bits; wParam is the socket.
inline constexpr long kFdRead = 0x01;
inline constexpr long kFdWrite = 0x02;
inline constexpr long kFdAccept = 0x08;
inline constexpr long kFdClose = 0x20;
[[nodiscard]] constexpr Lparam MakeSelectLparam(long event, int error) {
  return static_cast<Lparam>((static_cast<uint32_t>(error) << 16) | (event & 0xFFFF));
}
[[nodiscard]] constexpr long SelectEvent(Lparam lparam) { return lparam & 0xFFFF; }
[[nodiscard]] constexpr int SelectError(Lparam lparam) { return (lparam >> 16) & 0xFFFF; }

// The calling thread's id (creating its queue on first use).
[[nodiscard]] ThreadId CurrentThreadId();

// Handler run by DispatchMessage for messages of a target (its "window procedure").
using TargetHandler = std::function<void(const Message&)>;

// Creates a target owned by the calling thread. Returns 0 only when ids are exhausted.
[[nodiscard]] TargetId CreateTarget(TargetHandler handler = {});
// Destroys a target: later posts to it fail, its timers and socket selections end.
// Only its owning thread may destroy it. Returns false for an unknown target.
bool DestroyTarget(TargetId target);
[[nodiscard]] bool IsTarget(TargetId target);
// The thread that owns target, 0 when none.
[[nodiscard]] ThreadId TargetThread(TargetId target);

// Appends a message to the queue of target's owner. False when the target does not exist.
bool PostMessage(TargetId target, unsigned message, Wparam wparam, Lparam lparam);
// Appends a thread message (target 0). False when the thread has no queue (ended).
bool PostThreadMessage(ThreadId thread, unsigned message, Wparam wparam, Lparam lparam);
// Makes the calling thread's next GetMessage return false with WM_QUIT once the queue is empty.
void PostQuitMessage(int exit_code);

// Calling thread only. Waits for the next message: posted messages in order, then socket
// events, then due timers. Returns false for WM_QUIT. Never spins: sleeps in poll().
bool GetMessage(Message* out);
// Calling thread only. As GetMessage, but waits at most timeout_ms: false when nothing came
// (out->message is then kWmNull). WM_QUIT is returned as a message like any other.
bool GetMessageWithin(Message* out, int timeout_ms);
// Calling thread only. Waits until GetMessage would return at once.
void WaitMessage();
// Calling thread only. Non-blocking: true with the next message (removed when remove is set).
bool PeekMessage(Message* out, bool remove);
// Runs the target's handler for msg, when it has one. Returns false when it has none.
bool DispatchMessage(const Message& msg);

// Window timers: WM_TIMER (wParam = id) to target every period_ms, at most one pending.
// Setting an existing (target, id) restarts it. Only the owner's thread should call these.
bool SetTimer(TargetId target, uintptr_t id, unsigned period_ms);
bool KillTimer(TargetId target, uintptr_t id);

// Asks for socket events as messages to target (Winsock rules):
// - the socket becomes non-blocking; events 0 stops notification; a new call replaces the old;
// - an event posted is not posted again until its re-enabling call (recv for FD_READ, accept
//   for FD_ACCEPT; our socket wrappers report those through NoteSocketCall) or a new select;
// - FD_WRITE is posted once a send on the socket would have blocked (the wrappers report it
//   through NoteSendBlocked) and the socket can take bytes again; once per blocked send;
// - FD_CLOSE is posted only when no unread bytes remain, once per select;
// - a select made from another thread wakes the owner's wait at once;
// - events not yet taken go with the selection that ends or is replaced (a new select, events
//   0, the socket's close, its target's end): a later socket with the same number never hears
//   of them, and a new selection reports the socket's state afresh (an owed FD_WRITE kept).
// Returns 0, or -1 (SOCKET_ERROR) with the Winsock error in *error when given.
int AsyncSelect(int socket, TargetId target, unsigned message, long events, int* error = nullptr);
// Re-enables FD_READ and FD_ACCEPT of a selected socket. Called by the socket wrappers.
void NoteSocketCall(int socket);
// A send on a selected socket would have blocked: FD_WRITE follows when it has room again.
// Called by the socket wrappers, and by callers that write to a socket without them (splice).
void NoteSendBlocked(int socket);
// Ends every selection of socket; the socket wrappers call it before close().
void ForgetSocket(int socket);

// For WorkerThread: the creator makes the new thread's queue, so the thread's id is known and
// messages posted to it are kept before it runs; the new thread adopts it before anything
// else. A prepared queue whose thread could not be started is discarded.
struct PreparedQueue;
[[nodiscard]] PreparedQueue* PrepareThreadQueue(ThreadId* id);
void AdoptThreadQueue(PreparedQueue* prepared);
void DiscardThreadQueue(PreparedQueue* prepared);
// Ends the calling thread's queue now (a pooled thread between two jobs); its targets go.
void ReleaseThreadQueue();

// Calling thread only: called (from the posting thread) whenever a message is posted to this
// thread's queue; lets a foreign event loop (the console's) drain the queue with PeekMessage.
void SetQueueWakeHook(std::function<void()> hook);

}  // namespace platform
