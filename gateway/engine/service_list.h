// The process-wide list of ServiceEntry records in registry order, and the lookups the
// dispatcher and the sessions make by listening socket.
// Thread-safe: changes (console thread, start-up) take lock_ exclusively; lookups take it
// shared and hand out copies, so an entry deleted meanwhile is never read after it is freed.
#pragma once

#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "gateway/engine/host_lookups.h"
#include "gateway/engine/service_entry.h"

namespace engine {

// Resolves a host name into dotted text; 0 or -1 (the sessions' ResolveHost).
using HostResolver = std::function<int(const std::string& name, std::string* dotted)>;

inline constexpr char kCantDeleteService[] = "Can't delete %s service";

class ServiceList {
 public:
  // Loads TotalServices entries from the store (LoadServiceList). 0, or -1 on heap failure.
  [[nodiscard]] int Load();
  // Copy of the first entry with PortNum port whose ServiceType or MappingName is name.
  bool Find(int port, const std::string& name, ServiceEntry* copy) const;
  // Takes the changeable fields of record into the first entry with PortNum port and
  // ServiceType name, then saves it. 0, or -1 when there is no such entry.
  int Update(int port, const std::string& name, const ServiceEntry& record);
  void Append(std::unique_ptr<ServiceEntry> entry);
  // Deletes a mapped-link entry and renumbers the later ones in the store. -1 for any other
  // kind or when none matches (the console shows kCantDeleteService for other kinds).
  int Delete(int port, std::string name);
  // Closes and drops the entry of subkey index without touching the store (a reload: the
  // store has lost it already). -1 when none has that index.
  int Forget(int index);
  void CloseAllListeners();
  // Frees every entry (shut-down).
  void Clear();

  [[nodiscard]] int ServiceCodeForSocket(platform::Socket s) const;
  // The MappingName of the entry listening on s; -1 (and "") when none.
  int ServiceNameForSocket(platform::Socket s, std::string* name) const;
  // TimeoutAfter seconds when TimeOut and TimeoutAfter are both set, else -1.
  [[nodiscard]] int IdleTimeoutFor(platform::Socket s) const;
  // TimeoutAfter seconds whether TimeOut is set or not; -1 when none.
  [[nodiscard]] int TimeoutAfterFor(platform::Socket s) const;
  // Target of a mapped entry; resolves DefaultHost first when not resolved yet. A failed
  // lookup gives "" and leaves the entry unresolved, so a later session tries again once the
  // failure memory of HostLookups has passed; sessions arriving meanwhile share one lookup.
  // 0, or -1 when no entry listens on s.
  int MappedTargetFor(platform::Socket s, std::string* address, int* port,
                      const HostResolver& resolve);
  [[nodiscard]] int CodeForMappingName(const std::string& name) const;

  [[nodiscard]] std::vector<ServiceEntry> Snapshot() const;
  [[nodiscard]] size_t size() const;
  // Runs fn on every live entry under the exclusive lock (start-up and console changes only;
  // fn must not call back into the list).
  void ForEach(const std::function<void(ServiceEntry&)>& fn);

 private:
  ServiceEntry* FindLocked(platform::Socket s) const;

  HostLookups target_lookups_;  // thread-safe itself; used without lock_
  mutable std::shared_mutex lock_;
  std::vector<std::unique_ptr<ServiceEntry>> entries_;  // guarded by lock_
};

// The process-wide list.
ServiceList& Services();

// The process-wide UseDnsCache flag, stored with the DNS entry.
[[nodiscard]] int UseDnsCache();
void SetUseDnsCache(int on);

}  // namespace engine
