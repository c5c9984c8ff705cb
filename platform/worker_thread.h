// The thread class the sessions, the dispatcher and the purge thread derive from:
// InitInstance, Run, PreTranslateMessage, OnIdle, ExitInstance, auto-delete.
// The object belongs to its own thread once CreateThread returned; with auto-delete on, the
// thread deletes it when it ends, so the creator must not touch it afterwards.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>

#include "platform/message_queue.h"

namespace platform {

// Session threads run on small stacks so thousands can live at once.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr size_t kSessionStackBytes = 1024 * 1024;
#else
inline constexpr size_t kSessionStackBytes = 256 * 1024;
#endif

class WorkerThread {
 public:
  WorkerThread() = default;
  virtual ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts the thread; its id is valid on return and messages posted to it wait for it. False when no thread could be made
  // (then nothing runs and the caller still owns the object).
  [[nodiscard]] bool CreateThread(size_t stack_bytes = kSessionStackBytes);
  // As CreateThread for an auto-deleting session thread, called from a pooled session thread:
  // the new thread runs on the calling one once the caller's thread function has returned.
  // Falls back to CreateThread elsewhere.
  [[nodiscard]] bool CreateThreadAfterThisOne();
  void set_auto_delete(bool on) { auto_delete_ = on; }
  [[nodiscard]] ThreadId thread_id() const { return thread_id_; }
  // Waits for a thread without auto-delete to end. Returns its exit code.
  int Join();

  // Threads of this class that are running now (all kinds).
  [[nodiscard]] static int LiveCount();
  // Waits up to timeout_ms for LiveCount() to reach zero; true when it did.
  static bool WaitForAll(int timeout_ms);

 protected:
  // Returns true to go on to Run, false to go straight to ExitInstance.
  virtual bool InitInstance() { return true; }
  // Default loop: OnIdle while the queue is empty, then GetMessage; WM_QUIT ends it with
  // ExitInstance; messages PreTranslateMessage leaves unhandled go to DispatchMessage.
  virtual int Run();
  // True when the message was handled here.
  virtual bool PreTranslateMessage(Message& msg);
  // Called while the queue is empty; return true to be called again before waiting.
  virtual bool OnIdle(long count);
  virtual int ExitInstance() { return 0; }

 private:
  static void* Entry(void* self);
  bool Launch(size_t stack_bytes, bool on_this_thread);
  void Main();

  pthread_t handle_{};
  std::atomic<ThreadId> thread_id_{0};
  bool auto_delete_ = true;
  bool joinable_ = false;
  int exit_code_ = 0;
  PreparedQueue* prepared_queue_ = nullptr;  // handed to the thread when it starts
};

}  // namespace platform
