// The ServiceList: loading, changes with their store writes, and lookups by socket.
#include "gateway/engine/service_list.h"

#include <atomic>
#include <mutex>
#include <new>

#include "gateway/engine/config_store.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/store_access.h"

namespace engine {
namespace {

std::atomic<int> g_use_dns_cache{0};

// Fields a console change carries over into the listed entry.
void TakeChanges(const ServiceEntry& from, ServiceEntry* to) {
  to->IsActive = from.IsActive;
  to->PortNum = from.PortNum;
  to->TimeOut = from.TimeOut;
  to->TimeoutAfter = from.TimeoutAfter;
  to->listening_socket = from.listening_socket;
  to->service_code = from.service_code;
  to->resolved_target = CutText(from.resolved_target, kResolvedAddressWidth);
  if (to->ServiceType == kDnsServiceType) to->UseDialler = from.UseDialler;
  if (IsMappedKind(to->ServiceType)) {
    to->ProtocolType = from.ProtocolType;
    to->DefaultHostPortNum = from.DefaultHostPortNum;
    to->DefaultHost = CutText(from.DefaultHost, kDefaultHostWidth);
    to->ServiceType = CutText(from.ServiceType, kServiceTypeWidth);
    to->MappingName = CutText(from.MappingName, kMappingNameWidth);
  }
}

}  // namespace

ServiceList& Services() {
  static ServiceList* list = new ServiceList;  // outlives every session thread
  return *list;
}

int UseDnsCache() { return g_use_dns_cache.load(); }
void SetUseDnsCache(int on) { g_use_dns_cache.store(on ? 1 : 0); }

int ServiceList::Load() {
  int total = 0;
  ReadTotalServices(&total);
  // A damaged count must not make the loader allocate for entries the store does not hold.
  total = BoundedCount(kKeyService, "TotalServices", total);
  std::unique_lock lock(lock_);
  entries_.clear();
  // The first entry exists before any subkey is read: a store with no services still
  // yields one empty, inactive entry.
  auto entry = std::unique_ptr<ServiceEntry>(new (std::nothrow) ServiceEntry);
  if (!entry) return -1;
  for (int i = 0; i < total; ++i) {
    if (i > 0) {
      entry.reset(new (std::nothrow) ServiceEntry);
      if (!entry) return -1;
    }
    LoadServiceEntry(i, entry.get());
    entry->index = i;
    entries_.push_back(std::move(entry));
  }
  if (entry) entries_.push_back(std::move(entry));
  return 0;
}

bool ServiceList::Find(int port, const std::string& name, ServiceEntry* copy) const {
  std::shared_lock lock(lock_);
  for (const auto& e : entries_) {
    if (e->PortNum == port && (e->ServiceType == name || e->MappingName == name)) {
      *copy = *e;
      return true;
    }
  }
  return false;
}

int ServiceList::Update(int port, const std::string& name, const ServiceEntry& record) {
  ServiceEntry saved;
  {
    std::unique_lock lock(lock_);
    ServiceEntry* found = nullptr;
    for (const auto& e : entries_) {
      if (e->PortNum == port && e->ServiceType == name) {
        found = e.get();
        break;
      }
    }
    if (!found) return -1;
    TakeChanges(record, found);
    saved = *found;
  }
  return SaveServiceEntry(saved);
}

void ServiceList::Append(std::unique_ptr<ServiceEntry> entry) {
  std::unique_lock lock(lock_);
  entries_.push_back(std::move(entry));
}

int ServiceList::Delete(int port, std::string name) {
  std::unique_lock lock(lock_);
  if (!IsKindName(name)) {
    for (const auto& e : entries_) {
      if (e->MappingName == name) {
        name = e->ServiceType;
        break;
      }
    }
  }
  if (!IsMappedLinkType(name)) return -1;
  size_t k = 0;
  while (k < entries_.size() &&
         !(entries_[k]->PortNum == port && entries_[k]->ServiceType == name)) {
    ++k;
  }
  if (k == entries_.size()) return -1;
  if (entries_[k]->listening_socket != platform::kInvalidSocket) {
    platform::CloseSocket(entries_[k]->listening_socket);
  }
  entries_.erase(entries_.begin() + static_cast<long>(k));
  // Later entries move down one subkey; the highest old subkey stays, beyond the total. One
  // transaction: a kill half-way leaves the stored list as it was, never an entry twice.
  platform::StoreTransaction renumbering;
  for (size_t i = k; i < entries_.size(); ++i) {
    ServiceEntry moved;
    moved.ServiceType = entries_[i]->ServiceType;
    LoadServiceEntry(entries_[i]->index, &moved);
    moved.index = entries_[i]->index - 1;
    SaveServiceEntry(moved);
    entries_[i]->index = moved.index;
  }
  int total = 0;
  ReadTotalServices(&total);
  WriteTotalServices(total - 1);
  (void)renumbering.Commit();
  return 0;
}

int ServiceList::Forget(int index) {
  std::unique_lock lock(lock_);
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if ((*it)->index != index) continue;
    if ((*it)->listening_socket != platform::kInvalidSocket) {
      platform::CloseSocket((*it)->listening_socket);
    }
    entries_.erase(it);
    return 0;
  }
  return -1;
}

void ServiceList::CloseAllListeners() {
  std::unique_lock lock(lock_);
  for (const auto& e : entries_) {
    if (e->listening_socket != platform::kInvalidSocket) {
      platform::CloseSocket(e->listening_socket);
      e->listening_socket = platform::kInvalidSocket;
    }
  }
}

void ServiceList::Clear() {
  std::unique_lock lock(lock_);
  entries_.clear();
}

ServiceEntry* ServiceList::FindLocked(platform::Socket s) const {
  if (s == platform::kInvalidSocket) return nullptr;
  for (const auto& e : entries_) {
    if (e->listening_socket == s) return e.get();
  }
  return nullptr;
}

int ServiceList::ServiceCodeForSocket(platform::Socket s) const {
  std::shared_lock lock(lock_);
  const ServiceEntry* e = FindLocked(s);
  return e ? e->service_code : -1;
}

int ServiceList::ServiceNameForSocket(platform::Socket s, std::string* name) const {
  std::shared_lock lock(lock_);
  const ServiceEntry* e = FindLocked(s);
  if (!e) {
    name->clear();
    return -1;
  }
  *name = e->MappingName;
  return 0;
}

int ServiceList::IdleTimeoutFor(platform::Socket s) const {
  std::shared_lock lock(lock_);
  const ServiceEntry* e = FindLocked(s);
  if (!e || e->TimeOut == 0 || e->TimeoutAfter == 0) return -1;
  return e->TimeoutAfter;
}

int ServiceList::TimeoutAfterFor(platform::Socket s) const {
  std::shared_lock lock(lock_);
  const ServiceEntry* e = FindLocked(s);
  return e && e->TimeoutAfter > 0 ? e->TimeoutAfter : -1;
}

int ServiceList::MappedTargetFor(platform::Socket s, std::string* address, int* port,
                                 const HostResolver& resolve) {
  std::string host;
  {
    std::shared_lock lock(lock_);
    const ServiceEntry* e = FindLocked(s);
    if (!e) return -1;
    *port = e->DefaultHostPortNum;
    if (e->resolved_target != kUnresolved) {
      *address = e->resolved_target;
      return 0;
    }
    host = e->DefaultHost;
  }
  std::string dotted;
  if (platform::IsDottedAddress(host) || platform::IsIpv6Text(host)) {
    dotted = host;
  } else if (target_lookups_.Resolve(host, &dotted, resolve) != 0) {
    dotted.clear();
  }
  std::unique_lock lock(lock_);
  ServiceEntry* e = FindLocked(s);
  // Only a success is kept, and only for the host it was made for (the console may have
  // changed the entry meanwhile); a failure leaves the entry to be resolved again.
  if (e && !dotted.empty() && e->resolved_target == kUnresolved && e->DefaultHost == host) {
    e->resolved_target = CutText(dotted, kResolvedAddressWidth);
  }
  *address = dotted;
  return 0;
}

int ServiceList::CodeForMappingName(const std::string& name) const {
  std::shared_lock lock(lock_);
  for (const auto& e : entries_) {
    if (e->MappingName == name) return e->service_code;
  }
  return -1;
}

std::vector<ServiceEntry> ServiceList::Snapshot() const {
  std::shared_lock lock(lock_);
  std::vector<ServiceEntry> out;
  for (const auto& e : entries_) out.push_back(*e);
  return out;
}

size_t ServiceList::size() const {
  std::shared_lock lock(lock_);
  return entries_.size();
}

void ServiceList::ForEach(const std::function<void(ServiceEntry&)>& fn) {
  std::unique_lock lock(lock_);
  for (const auto& e : entries_) fn(*e);
}

}  // namespace engine
