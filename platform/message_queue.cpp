// The directory of targets, threads and selected sockets, and the message layer's functions,
// which find the owning thread's queue and hand the call to it.
// Lock order: the directory lock is never held while a queue lock is taken the other way
// round; queue locks are leaves.
#include "platform/message_queue.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <vector>

#include "platform/queue_probe.h"
#include "platform/socket_errors.h"
#include "platform/thread_queue.h"

namespace platform {
namespace {

using detail::ThreadQueue;

struct TargetInfo {
  std::shared_ptr<ThreadQueue> queue;
  TargetHandler handler;
};

// Who owns what: targets, threads and selected sockets, each mapped to the owning queue.
struct Directory {
  std::shared_mutex mu;
  std::unordered_map<TargetId, TargetInfo> targets;
  std::unordered_map<ThreadId, std::shared_ptr<ThreadQueue>> threads;
  std::unordered_map<int, std::shared_ptr<ThreadQueue>> socket_owner;
  // The targets and sockets each queue holds in the maps above, so that a thread's end
  // removes its own few entries instead of walking every entry of the process.
  struct Owned {
    std::vector<TargetId> targets;
    std::vector<int> sockets;
  };
  std::unordered_map<const ThreadQueue*, Owned> owned;
  std::atomic<uint32_t> next_target{1};
  std::atomic<uint32_t> next_thread{1};
};

Directory& Dir() {
  static Directory* dir = new Directory;  // never destroyed: threads may outlive main()
  return *dir;
}

// Takes value off the list of what a queue holds. Directory lock held.
template <typename T>
void Unlist(Directory& dir, const ThreadQueue* queue, std::vector<T> Directory::Owned::*list,
            T value) {
  auto owned = dir.owned.find(queue);
  if (owned == dir.owned.end()) return;
  std::vector<T>& v = owned->second.*list;
  auto it = std::find(v.begin(), v.end(), value);
  if (it == v.end()) return;
  *it = v.back();
  v.pop_back();
}

// The calling thread's queue; registered on first use, unregistered when the thread ends.
struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueHolder() {
    if (!queue) return;
    Directory& dir = Dir();
    std::unique_lock lock(dir.mu);
    dir.threads.erase(queue->id());
    auto owned = dir.owned.find(queue.get());
    if (owned == dir.owned.end()) return;
    for (TargetId id : owned->second.targets) {
      auto it = dir.targets.find(id);
      if (it != dir.targets.end() && it->second.queue == queue) dir.targets.erase(it);
    }
    for (int socket : owned->second.sockets) {
      auto it = dir.socket_owner.find(socket);
      if (it != dir.socket_owner.end() && it->second == queue) dir.socket_owner.erase(it);
    }
    dir.owned.erase(owned);
  }
};

thread_local QueueHolder t_holder;

std::shared_ptr<ThreadQueue> NewRegisteredQueue() {
  Directory& dir = Dir();
  auto queue = std::make_shared<ThreadQueue>(dir.next_thread.fetch_add(1));
  std::unique_lock lock(dir.mu);
  dir.threads[queue->id()] = queue;
  return queue;
}

ThreadQueue& Current() {
  if (!t_holder.queue) t_holder.queue = NewRegisteredQueue();
  return *t_holder.queue;
}

std::shared_ptr<ThreadQueue> QueueOfThread(ThreadId thread) {
  Directory& dir = Dir();
  std::shared_lock lock(dir.mu);
  auto it = dir.threads.find(thread);
  return it == dir.threads.end() ? nullptr : it->second;
}

std::shared_ptr<ThreadQueue> QueueOfTarget(TargetId target) {
  Directory& dir = Dir();
  std::shared_lock lock(dir.mu);
  auto it = dir.targets.find(target);
  return it == dir.targets.end() ? nullptr : it->second.queue;
}

}  // namespace

struct PreparedQueue {
  std::shared_ptr<ThreadQueue> queue;
};

PreparedQueue* PrepareThreadQueue(ThreadId* id) {
  auto* prepared = new PreparedQueue{NewRegisteredQueue()};
  *id = prepared->queue->id();
  return prepared;
}

void AdoptThreadQueue(PreparedQueue* prepared) {
  t_holder.queue = std::move(prepared->queue);
  delete prepared;
}

void DiscardThreadQueue(PreparedQueue* prepared) {
  QueueHolder unregister{std::move(prepared->queue)};
  delete prepared;
}

void ReleaseThreadQueue() { QueueHolder ended{std::move(t_holder.queue)}; }

ThreadId CurrentThreadId() { return Current().id(); }

bool ThreadIsWaiting(ThreadId thread) {
  auto queue = QueueOfThread(thread);
  return queue != nullptr && queue->Sleeping();
}

TargetId CreateTarget(TargetHandler handler) {
  ThreadQueue& queue = Current();
  Directory& dir = Dir();
  TargetId id = dir.next_target.fetch_add(1);
  if (id == 0) return 0;
  std::unique_lock lock(dir.mu);
  dir.targets[id] = TargetInfo{dir.threads.at(queue.id()), std::move(handler)};
  dir.owned[&queue].targets.push_back(id);
  return id;
}

bool DestroyTarget(TargetId target) {
  std::shared_ptr<ThreadQueue> queue;
  {
    Directory& dir = Dir();
    std::unique_lock lock(dir.mu);
    auto it = dir.targets.find(target);
    if (it == dir.targets.end()) return false;
    queue = it->second.queue;
    dir.targets.erase(it);
    Unlist(dir, queue.get(), &Directory::Owned::targets, target);
  }
  queue->DropTarget(target);
  return true;
}

bool IsTarget(TargetId target) { return QueueOfTarget(target) != nullptr; }

ThreadId TargetThread(TargetId target) {
  auto queue = QueueOfTarget(target);
  return queue ? queue->id() : 0;
}

bool PostMessage(TargetId target, unsigned message, Wparam wparam, Lparam lparam) {
  auto queue = QueueOfTarget(target);
  if (!queue) return false;
  queue->Post(Message{target, message, wparam, lparam});
  return true;
}

bool PostThreadMessage(ThreadId thread, unsigned message, Wparam wparam, Lparam lparam) {
  auto queue = QueueOfThread(thread);
  if (queue == nullptr) return false;
  queue->Post(Message{0, message, wparam, lparam});
  return true;
}

void PostQuitMessage(int exit_code) { Current().Quit(exit_code); }

bool GetMessage(Message* out) {
  Current().Next(out, true, -1);
  return out->message != kWmQuit;
}

bool GetMessageWithin(Message* out, int timeout_ms) {
  if (Current().Next(out, true, timeout_ms < 0 ? 0 : timeout_ms)) return true;
  *out = Message{};
  return false;
}

void WaitMessage() {
  Message ignored;
  Current().Next(&ignored, false, -1);
}

bool PeekMessage(Message* out, bool remove) { return Current().Next(out, remove, 0); }

bool DispatchMessage(const Message& msg) {
  TargetHandler handler;
  {
    Directory& dir = Dir();
    std::shared_lock lock(dir.mu);
    auto it = dir.targets.find(msg.target);
    if (it == dir.targets.end() || !it->second.handler) return false;
    handler = it->second.handler;
  }
  handler(msg);
  return true;
}

bool SetTimer(TargetId target, uintptr_t id, unsigned period_ms) {
  auto queue = QueueOfTarget(target);
  if (!queue) return false;
  queue->SetTimer(target, id, period_ms);
  return true;
}

bool KillTimer(TargetId target, uintptr_t id) {
  auto queue = QueueOfTarget(target);
  return queue && queue->KillTimer(target, id);
}

int AsyncSelect(int socket, TargetId target, unsigned message, long events, int* error) {
  auto queue = QueueOfTarget(target);
  if (!queue) {
    if (error) *error = kWsaEInval;
    return -1;
  }
  std::shared_ptr<ThreadQueue> previous;
  {
    Directory& dir = Dir();
    std::unique_lock lock(dir.mu);
    auto it = dir.socket_owner.find(socket);
    std::shared_ptr<ThreadQueue> old = it != dir.socket_owner.end() ? it->second : nullptr;
    if (old && old != queue) previous = old;
    if (old && (events == 0 || old != queue)) {
      dir.socket_owner.erase(it);
      Unlist(dir, old.get(), &Directory::Owned::sockets, socket);
    }
    if (events != 0 && old != queue) {
      dir.socket_owner[socket] = queue;
      dir.owned[queue.get()].sockets.push_back(socket);
    }
  }
  if (previous) previous->Forget(socket);
  return queue->Select(socket, target, message, events, error);
}

namespace {

// The queue of the thread whose target selected socket, or none.
std::shared_ptr<ThreadQueue> SocketOwner(int socket) {
  Directory& dir = Dir();
  std::shared_lock lock(dir.mu);
  auto it = dir.socket_owner.find(socket);
  return it == dir.socket_owner.end() ? nullptr : it->second;
}

}  // namespace

void NoteSocketCall(int socket) {
  if (std::shared_ptr<ThreadQueue> queue = SocketOwner(socket)) queue->NoteCall(socket);
}

void NoteSendBlocked(int socket) {
  if (std::shared_ptr<ThreadQueue> queue = SocketOwner(socket)) queue->NoteSendBlocked(socket);
}

void ForgetSocket(int socket) {
  std::shared_ptr<ThreadQueue> queue;
  {
    Directory& dir = Dir();
    std::unique_lock lock(dir.mu);
    auto it = dir.socket_owner.find(socket);
    if (it == dir.socket_owner.end()) return;
    queue = it->second;
    dir.socket_owner.erase(it);
    Unlist(dir, queue.get(), &Directory::Owned::sockets, socket);
  }
  queue->Forget(socket);
}

void SetQueueWakeHook(std::function<void()> hook) { Current().SetWakeHook(std::move(hook)); }

}  // namespace platform
