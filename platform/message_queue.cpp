// The directory of targets, threads and selected sockets, and the message layer's functions,
// which find the owning thread's queue and hand the call to it.
// Locking: each of the directory's maps is split into shards, each with its own lock, so that
// sessions looking up their own sockets (every read and send does) do not queue behind other
// sessions selecting, closing or creating theirs. A queue's list of what it holds has its own
// lock, always taken last; queue locks are leaves.
#include "platform/message_queue.h"

#include <algorithm>
#include <array>
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

// A map split into shards by key, each shard behind its own reader-writer lock.
template <typename Key, typename Value>
class ShardedMap {
 public:
  struct Shard {
    std::shared_mutex mu;
    std::unordered_map<Key, Value> map;
  };
  Shard& For(Key key) { return shards_[static_cast<size_t>(key) % kShards]; }
  // part(value under key), or part of a default-made value when there is none.
  template <typename Part>
  auto Find(Key key, Part part) {
    Shard& shard = For(key);
    std::shared_lock lock(shard.mu);
    auto it = shard.map.find(key);
    return it == shard.map.end() ? part(Value{}) : part(it->second);
  }
  Value Find(Key key) {
    return Find(key, [](const Value& v) { return v; });
  }

 private:
  static constexpr size_t kShards = 64;
  std::array<Shard, kShards> shards_;
};

// A thread's queue with the targets and sockets it holds in the directory, so that the
// thread's end removes its own few entries instead of walking every entry of the process.
struct QueueRecord {
  explicit QueueRecord(ThreadId id) : queue(std::make_shared<ThreadQueue>(id)) {}
  std::shared_ptr<ThreadQueue> queue;
  std::mutex mu;  // guards the two lists; taken after any shard lock
  std::vector<TargetId> targets;
  std::vector<int> sockets;

  template <typename T>
  void List(std::vector<T> QueueRecord::*list, T value) {
    std::lock_guard lock(mu);
    (this->*list).push_back(value);
  }
  template <typename T>
  void Unlist(std::vector<T> QueueRecord::*list, T value) {
    std::lock_guard lock(mu);
    std::vector<T>& v = this->*list;
    auto it = std::find(v.begin(), v.end(), value);
    if (it == v.end()) return;
    *it = v.back();
    v.pop_back();
  }
};

using RecordPtr = std::shared_ptr<QueueRecord>;

struct TargetInfo {
  RecordPtr record;
  TargetHandler handler;
};

// Who owns what: targets, threads and selected sockets, each mapped to the owning queue.
struct Directory {
  ShardedMap<TargetId, TargetInfo> targets;
  ShardedMap<ThreadId, RecordPtr> threads;
  ShardedMap<int, RecordPtr> socket_owner;
  std::atomic<uint32_t> next_target{1};
  std::atomic<uint32_t> next_thread{1};
};

Directory& Dir() {
  static Directory* dir = new Directory;  // never destroyed: threads may outlive main()
  return *dir;
}

// The calling thread's queue; registered on first use, unregistered when the thread ends.
struct QueueHolder {
  RecordPtr record;
  ~QueueHolder() {
    if (!record) return;
    Directory& dir = Dir();
    {
      auto& shard = dir.threads.For(record->queue->id());
      std::unique_lock lock(shard.mu);
      shard.map.erase(record->queue->id());
    }
    std::vector<TargetId> targets;
    std::vector<int> sockets;
    {
      std::lock_guard lock(record->mu);
      targets.swap(record->targets);
      sockets.swap(record->sockets);
    }
    for (TargetId id : targets) {
      auto& shard = dir.targets.For(id);
      std::unique_lock lock(shard.mu);
      auto it = shard.map.find(id);
      if (it != shard.map.end() && it->second.record == record) shard.map.erase(it);
    }
    for (int socket : sockets) {
      auto& shard = dir.socket_owner.For(socket);
      std::unique_lock lock(shard.mu);
      auto it = shard.map.find(socket);
      if (it != shard.map.end() && it->second == record) shard.map.erase(it);
    }
  }
};

thread_local QueueHolder t_holder;

RecordPtr NewRegisteredQueue() {
  Directory& dir = Dir();
  auto record = std::make_shared<QueueRecord>(dir.next_thread.fetch_add(1));
  auto& shard = dir.threads.For(record->queue->id());
  std::unique_lock lock(shard.mu);
  shard.map[record->queue->id()] = record;
  return record;
}

const RecordPtr& CurrentRecord() {
  if (!t_holder.record) t_holder.record = NewRegisteredQueue();
  return t_holder.record;
}

ThreadQueue& Current() { return *CurrentRecord()->queue; }

std::shared_ptr<ThreadQueue> QueueOfThread(ThreadId thread) {
  RecordPtr record = Dir().threads.Find(thread);
  return record ? record->queue : nullptr;
}

RecordPtr RecordOfTarget(TargetId target) {
  return Dir().targets.Find(target, [](const TargetInfo& t) { return t.record; });
}

std::shared_ptr<ThreadQueue> QueueOfTarget(TargetId target) {
  RecordPtr record = RecordOfTarget(target);
  return record ? record->queue : nullptr;
}

}  // namespace

struct PreparedQueue {
  RecordPtr record;
};

PreparedQueue* PrepareThreadQueue(ThreadId* id) {
  auto* prepared = new PreparedQueue{NewRegisteredQueue()};
  *id = prepared->record->queue->id();
  return prepared;
}

void AdoptThreadQueue(PreparedQueue* prepared) {
  t_holder.record = std::move(prepared->record);
  delete prepared;
}

void DiscardThreadQueue(PreparedQueue* prepared) {
  QueueHolder unregister{std::move(prepared->record)};
  delete prepared;
}

void ReleaseThreadQueue() { QueueHolder ended{std::move(t_holder.record)}; }

ThreadId CurrentThreadId() { return Current().id(); }

bool ThreadIsWaiting(ThreadId thread) {
  auto queue = QueueOfThread(thread);
  return queue != nullptr && queue->Sleeping();
}

TargetId CreateTarget(TargetHandler handler) {
  const RecordPtr& record = CurrentRecord();
  Directory& dir = Dir();
  TargetId id = dir.next_target.fetch_add(1);
  if (id == 0) return 0;
  {
    auto& shard = dir.targets.For(id);
    std::unique_lock lock(shard.mu);
    shard.map[id] = TargetInfo{record, std::move(handler)};
  }
  record->List(&QueueRecord::targets, id);
  return id;
}

bool DestroyTarget(TargetId target) {
  RecordPtr record;
  {
    auto& shard = Dir().targets.For(target);
    std::unique_lock lock(shard.mu);
    auto it = shard.map.find(target);
    if (it == shard.map.end()) return false;
    record = std::move(it->second.record);
    shard.map.erase(it);
  }
  record->Unlist(&QueueRecord::targets, target);
  record->queue->DropTarget(target);
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
  TargetHandler handler =
      Dir().targets.Find(msg.target, [](const TargetInfo& t) { return t.handler; });
  if (!handler) return false;
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
  RecordPtr record = RecordOfTarget(target);
  if (!record) {
    if (error) *error = kWsaEInval;
    return -1;
  }
  RecordPtr previous;
  {
    auto& shard = Dir().socket_owner.For(socket);
    std::unique_lock lock(shard.mu);
    auto it = shard.map.find(socket);
    RecordPtr old = it != shard.map.end() ? it->second : nullptr;
    if (old && old != record) previous = old;
    if (old && (events == 0 || old != record)) {
      shard.map.erase(it);
      old->Unlist(&QueueRecord::sockets, socket);
    }
    if (events != 0 && old != record) {
      shard.map[socket] = record;
      record->List(&QueueRecord::sockets, socket);
    }
  }
  if (previous) previous->queue->Forget(socket);
  return record->queue->Select(socket, target, message, events, error);
}

void NoteSocketCall(int socket) {
  if (RecordPtr record = Dir().socket_owner.Find(socket)) record->queue->NoteCall(socket);
}

void NoteSendBlocked(int socket) {
  if (RecordPtr record = Dir().socket_owner.Find(socket)) record->queue->NoteSendBlocked(socket);
}

void ForgetSocket(int socket) {
  RecordPtr record;
  {
    auto& shard = Dir().socket_owner.For(socket);
    std::unique_lock lock(shard.mu);
    auto it = shard.map.find(socket);
    if (it == shard.map.end()) return;
    record = std::move(it->second);
    shard.map.erase(it);
  }
  record->Unlist(&QueueRecord::sockets, socket);
  record->queue->Forget(socket);
}

void SetQueueWakeHook(std::function<void()> hook) { Current().SetWakeHook(std::move(hook)); }

}  // namespace platform
