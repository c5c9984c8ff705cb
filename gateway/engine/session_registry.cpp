// The registry list, its notices to the console and the kill messages.
#include "gateway/engine/session_registry.h"

#include <array>
#include <atomic>
#include <list>
#include <memory>
#include <mutex>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/service_entry.h"
#include "gateway/engine/service_list.h"

namespace engine {
namespace {

struct SessionEntry {
  std::string client_address;
  std::string service_name;
  std::array<platform::ThreadId, kThreadSlots> thread_ids{};      // 0: free slot
  std::array<const platform::ByteMeter*, kThreadSlots> meters{};  // beside thread_ids
  int service_code = 0;
  int count = 0;
  int64_t ended_bytes = 0;  // of the pair's sessions that ended while it stayed listed
};

int64_t Both(const platform::ByteMeter* m) {
  return m == nullptr ? 0 : m->from_client.load() + m->to_client.load();
}

int64_t BytesSoFar(const SessionEntry& e) {
  int64_t total = e.ended_bytes;
  for (const platform::ByteMeter* m : e.meters) total += Both(m);
  return total;
}

std::mutex g_notice_lock;           // taken first; keeps notices in the order of the changes
std::mutex g_registry_lock;         // then this one
std::list<SessionEntry> g_entries;  // guarded by g_registry_lock
std::atomic<platform::TargetId> g_console{0};

std::list<SessionEntry>::iterator FindLocked(const std::string& address, const std::string& name) {
  for (auto it = g_entries.begin(); it != g_entries.end(); ++it) {
    if (it->client_address == address && it->service_name == name) return it;
  }
  return g_entries.end();
}

// Applies one add or remove under the registry lock; the new count, or -1 for a remove of
// a pair that is not registered.
int ChangeLocked(const SessionNotice& n, platform::ThreadId thread_id, bool add,
                 const platform::ByteMeter* meter) {
  std::lock_guard lock(g_registry_lock);
  auto it = FindLocked(n.client_address, n.service_name);
  if (!add) {
    if (it == g_entries.end()) return -1;
    if (it->count == 1) {
      g_entries.erase(it);
      return 0;
    }
    for (int i = 0; i < kThreadSlots; ++i) {
      if (it->thread_ids[i] == thread_id) {
        it->thread_ids[i] = 0;
        it->meters[i] = nullptr;
        break;
      }
    }
    it->ended_bytes += Both(meter);
    return --it->count;
  }
  if (it == g_entries.end()) {
    SessionEntry e;
    e.client_address = n.client_address;
    e.service_name = n.service_name;
    e.service_code = n.service_code;
    it = g_entries.insert(g_entries.end(), std::move(e));
  }
  for (int i = 0; i < kThreadSlots; ++i) {
    if (it->thread_ids[i] == 0) {
      it->thread_ids[i] = thread_id;  // with every slot taken the id is not recorded
      it->meters[i] = meter;
      break;
    }
  }
  return ++it->count;
}

void PostKills(const SessionEntry& e) {
  for (platform::ThreadId id : e.thread_ids) {
    if (id != 0) platform::PostThreadMessage(id, kMsgKillSession, 0, 0);
  }
}

}  // namespace

int RegisterSession(const std::string& client_address, platform::Socket listening_socket,
                    int service_code, platform::ThreadId thread_id, bool add) {
  std::string name;
  Services().ServiceNameForSocket(listening_socket, &name);
  return RegisterSessionNamed(client_address, name, service_code, thread_id, add);
}

int RegisterSessionNamed(const std::string& client_address, const std::string& service_name,
                         int service_code, platform::ThreadId thread_id, bool add,
                         const platform::ByteMeter* meter) {
  auto notice = std::make_unique<SessionNotice>();
  std::lock_guard notice_lock(g_notice_lock);
  notice->client_address = CutText(client_address, kClientAddressWidth);
  notice->service_code = service_code;
  notice->service_name = service_name;
  int count = ChangeLocked(*notice, thread_id, add, meter);
  if (count < 0) return -1;
  notice->count = count;
  platform::TargetId console = g_console.load();
  if (console != 0 && platform::PostMessage(console, add ? kMsgSessionAdded : kMsgSessionRemoved, 0,
                                            reinterpret_cast<platform::Lparam>(notice.get()))) {
    notice.release();  // the console owns it now
  }
  return 0;
}

int KillSession(const std::string& client_address, const std::string& service_name) {
  std::lock_guard lock(g_registry_lock);
  auto it = FindLocked(client_address, service_name);
  if (it != g_entries.end()) PostKills(*it);
  return 0;
}

int KillAllSessions() {
  std::lock_guard lock(g_registry_lock);
  int asked = 0;
  for (const auto& e : g_entries) {
    PostKills(e);
    asked += e.count;
  }
  return asked;
}

int CountSessions() {
  std::lock_guard lock(g_registry_lock);
  return static_cast<int>(g_entries.size());
}

void SetConsoleTarget(platform::TargetId target) { g_console.store(target); }
platform::TargetId ConsoleTarget() { return g_console.load(); }

namespace detail {

void VisitSessionLines(void (*fn)(const SessionLine&, void*), void* ctx) {
  std::lock_guard lock(g_registry_lock);
  for (const auto& e : g_entries) {
    fn(SessionLine{e.client_address, e.service_name, e.service_code, e.count, BytesSoFar(e)}, ctx);
  }
}

}  // namespace detail
}  // namespace engine
