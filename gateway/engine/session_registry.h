// The process-wide registry of live sessions per (client address, service name) pair, and the
// notices it posts to the console when a pair's count changes.
// Thread-safe. Lock order: the notice lock, then the registry lock; nothing takes them the
// other way round.
#pragma once

#include <string>

#include "platform/byte_meter.h"
#include "platform/message_queue.h"
#include "platform/socket.h"

namespace engine {

inline constexpr size_t kClientAddressWidth = 46;  // room for IPv6 text
inline constexpr int kThreadSlots = 100;

// Posted with kMsgSessionAdded / kMsgSessionRemoved; the receiver owns (deletes) it.
struct SessionNotice {
  std::string client_address;
  int service_code = 0;
  int count = 0;  // the pair's count after the change
  std::string service_name;
};

// true: add, false: remove. 0, or -1 (a remove for a pair that is not registered).
int RegisterSession(const std::string& client_address, platform::Socket listening_socket,
                    int service_code, platform::ThreadId thread_id, bool add);
// The same with the service name already known (a session keeps the name it registered
// under, so its removal still matches after its listener was closed). meter, when given, is
// the session's byte count: read for the console while the session is registered (it must
// stay alive until the remove), and what it holds at the remove stays in the pair's total.
int RegisterSessionNamed(const std::string& client_address, const std::string& service_name,
                         int service_code, platform::ThreadId thread_id, bool add,
                         const platform::ByteMeter* meter = nullptr);
// Posts kMsgKillSession to every recorded thread of the pair. 0.
int KillSession(const std::string& client_address, const std::string& service_name);
// Ends every registered session (shut-down). Returns how many were asked.
int KillAllSessions();
// Number of (client, service) pairs.
[[nodiscard]] int CountSessions();
// The console's target for notices; 0: no console, notices are dropped.
void SetConsoleTarget(platform::TargetId target);
// The console's target as last set; 0 when none.
[[nodiscard]] platform::TargetId ConsoleTarget();

// One registry line as the console lists it.
struct SessionLine {
  std::string client_address;
  std::string service_name;
  int service_code = 0;
  int count = 0;
  int64_t bytes = 0;  // both ways, of the pair's sessions since the pair was listed
};
// Visits every pair under the registry lock (the console fills its page with it).
template <typename F>
void ForEachSessionLine(F&& visit);

namespace detail {
void VisitSessionLines(void (*fn)(const SessionLine&, void*), void* ctx);
}

template <typename F>
void ForEachSessionLine(F&& visit) {
  detail::VisitSessionLines(
      [](const SessionLine& line, void* ctx) { (*static_cast<F*>(ctx))(line); }, &visit);
}

}  // namespace engine
