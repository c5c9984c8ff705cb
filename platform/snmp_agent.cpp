// The in-process MIB-II agent: a sorted map of object instances built from the interface
// list, answered with exact lookups (GET) and the next greater OID (GETNEXT).
#include "platform/snmp_agent.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <set>
#include <utility>

namespace platform {
namespace {

// ipAdEntReasmMaxSize: the largest datagram IPv4 can reassemble.
constexpr int64_t kReasmMaxSize = 65535;

uint32_t HostOrder(const sockaddr* sa) {
  return ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
}

// An address label such as "eth0:1" names the interface "eth0".
std::string BaseName(const char* name) {
  std::string base = name;
  return base.substr(0, base.find(':'));
}

AsnValue Integer(int64_t n) { return AsnValue{kAsnInteger, n, {}}; }
AsnValue Octets(std::string s) { return AsnValue{kAsnOctetString, 0, std::move(s)}; }

AsnValue IpAddress(uint32_t host_order) {
  std::string octets(4, '\0');
  for (int i = 0; i < 4; ++i) octets[i] = static_cast<char>(host_order >> (24 - 8 * i));
  return AsnValue{kAsnIpAddress, 0, octets};
}

Oid Append(Oid base, std::initializer_list<uint32_t> tail) {
  base.insert(base.end(), tail);
  return base;
}

Oid AddrColumn(uint32_t column, uint32_t address) {
  Oid oid = kOidIpAdEntAddr;
  oid[9] = column;
  for (int i = 0; i < 4; ++i) oid.push_back((address >> (24 - 8 * i)) & 0xFF);
  return oid;
}

void AddAddressRow(std::map<Oid, AsnValue>* mib, const InterfaceEntry& e) {
  (*mib)[AddrColumn(1, e.address)] = IpAddress(e.address);
  (*mib)[AddrColumn(2, e.address)] = Integer(e.index);
  (*mib)[AddrColumn(3, e.address)] = IpAddress(e.netmask);
  (*mib)[AddrColumn(4, e.address)] = Integer(1);  // broadcasts use the all-ones host part
  (*mib)[AddrColumn(5, e.address)] = Integer(kReasmMaxSize);
}

}  // namespace

int ReadSystemInterfaces(std::vector<InterfaceEntry>* out) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return -1;
  out->clear();
  for (ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
    InterfaceEntry e;
    e.name = BaseName(ifa->ifa_name);
    e.index = if_nametoindex(e.name.c_str());
    if (e.index == 0) continue;
    if (ifa->ifa_addr != nullptr && ifa->ifa_addr->sa_family == AF_INET) {
      e.has_ipv4 = true;
      e.address = HostOrder(ifa->ifa_addr);
      e.netmask = ifa->ifa_netmask ? HostOrder(ifa->ifa_netmask) : 0;
    }
    out->push_back(std::move(e));
  }
  freeifaddrs(list);
  return 0;
}

std::map<Oid, AsnValue> BuildMib(const std::vector<InterfaceEntry>& interfaces) {
  std::map<Oid, AsnValue> mib;
  std::set<uint32_t> indexes;
  std::map<uint32_t, const InterfaceEntry*> by_address;
  for (const InterfaceEntry& e : interfaces) {
    if (indexes.insert(e.index).second) {
      mib[Append(kOidIfDescr, {e.index})] = Octets(e.name);
      Oid if_index = Append(kOidIfDescr, {e.index});
      if_index[9] = 1;
      mib[if_index] = Integer(e.index);
    }
    if (!e.has_ipv4) continue;
    auto [it, inserted] = by_address.emplace(e.address, &e);
    if (!inserted && e.index < it->second->index) it->second = &e;
  }
  for (const auto& [address, entry] : by_address) AddAddressRow(&mib, *entry);
  mib[kOidIfNumber] = Integer(static_cast<int64_t>(indexes.size()));
  return mib;
}

SnmpAgent::SnmpAgent(InterfaceSource source) : source_(std::move(source)) {}

bool SnmpAgent::Init() {
  std::vector<InterfaceEntry> interfaces;
  if (!source_ || source_(&interfaces) != 0) return false;
  mib_ = BuildMib(interfaces);
  loaded_ = true;
  return true;
}

bool SnmpAgent::Query(uint8_t pdu_type, std::vector<VarBind>* list, int32_t* error_status,
                      int32_t* error_index) {
  if (pdu_type != kSnmpPduGet && pdu_type != kSnmpPduGetNext) return false;
  *error_status = kSnmpNoError;
  *error_index = 0;
  if (!loaded_ && !Init()) {
    *error_status = kSnmpGenErr;
    *error_index = list->empty() ? 0 : 1;
    return true;
  }
  std::vector<VarBind> answer = *list;
  for (size_t i = 0; i < answer.size(); ++i) {
    auto it =
        pdu_type == kSnmpPduGet ? mib_.find(answer[i].name) : mib_.upper_bound(answer[i].name);
    if (it == mib_.end()) {
      *error_status = kSnmpNoSuchName;
      *error_index = static_cast<int32_t>(i + 1);
      return true;
    }
    answer[i].name = it->first;
    answer[i].value = it->second;
  }
  *list = std::move(answer);
  return true;
}

}  // namespace platform
