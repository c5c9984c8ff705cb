// Stand-in for the SNMP extension agent: answers GET and GETNEXT in-process over the MIB-II
// objects ifNumber, ifTable (ifIndex, ifDescr) and ipAddrTable, built from the machine's
// interfaces (getifaddrs) or from a list a caller supplies. No SNMP network traffic.
// An SnmpAgent is used by one thread at a time; separate agents are independent.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace platform {

// An object identifier as its list of sub-identifiers, e.g. {1,3,6,1,2,1,2,1,0}.
using Oid = std::vector<uint32_t>;

// ASN.1 / SNMP value types.
inline constexpr uint8_t kAsnInteger = 0x02;
inline constexpr uint8_t kAsnOctetString = 0x04;
inline constexpr uint8_t kAsnNull = 0x05;
inline constexpr uint8_t kAsnIpAddress = 0x40;

// PDU types.
inline constexpr uint8_t kSnmpPduGet = 0xA0;
inline constexpr uint8_t kSnmpPduGetNext = 0xA1;

// Error status values of an answer.
inline constexpr int32_t kSnmpNoError = 0;
inline constexpr int32_t kSnmpNoSuchName = 2;
inline constexpr int32_t kSnmpGenErr = 5;

// The MIB-II objects served.
inline const Oid kOidIfNumber = {1, 3, 6, 1, 2, 1, 2, 1, 0};
inline const Oid kOidIfDescr = {1, 3, 6, 1, 2, 1, 2, 2, 1, 2};  // + ifIndex
inline const Oid kOidIpAddrTable = {1, 3, 6, 1, 2, 1, 4, 20};
inline const Oid kOidIpAdEntAddr = {1, 3, 6, 1, 2, 1, 4, 20, 1, 1};  // + a.b.c.d

struct AsnValue {
  uint8_t type = kAsnNull;
  int64_t number = 0;  // kAsnInteger
  std::string bytes;   // kAsnOctetString; kAsnIpAddress: 4 octets, most significant first
};

struct VarBind {
  Oid name;
  AsnValue value;
};

// One entry of the interface list: an interface, optionally with one IPv4 address.
// An interface with several addresses appears once per address.
struct InterfaceEntry {
  std::string name;    // the interface name; becomes ifDescr
  uint32_t index = 0;  // ifIndex (> 0)
  bool has_ipv4 = false;
  uint32_t address = 0;  // host byte order
  uint32_t netmask = 0;  // host byte order
};

// Reads the machine's interfaces with getifaddrs. Returns 0, or -1 when they cannot be read.
[[nodiscard]] int ReadSystemInterfaces(std::vector<InterfaceEntry>* out);

// The served objects in OID order: ifNumber.0, ifIndex and ifDescr per interface, and the
// five ipAddrTable columns per IPv4 address (one row per address; an address present on two
// interfaces gives one row, for the lower ifIndex).
[[nodiscard]] std::map<Oid, AsnValue> BuildMib(const std::vector<InterfaceEntry>& interfaces);

class SnmpAgent {
 public:
  using InterfaceSource = std::function<int(std::vector<InterfaceEntry>*)>;

  explicit SnmpAgent(InterfaceSource source = ReadSystemInterfaces);

  // SnmpExtensionInit: takes a snapshot of the interfaces. false when they cannot be read;
  // a later Query tries again.
  [[nodiscard]] bool Init();

  // SnmpExtensionQuery. Returns false for a PDU type other than GET and GETNEXT (nothing
  // changed). Otherwise true, with *error_status 0 and every variable's name and value
  // replaced by the answer, or with *error_status kSnmpNoSuchName (GET of an unknown object,
  // GETNEXT past the last object) or kSnmpGenErr (no interface snapshot) and *error_index
  // the 1-based position of the variable at fault; the list is then left unchanged.
  [[nodiscard]] bool Query(uint8_t pdu_type, std::vector<VarBind>* list, int32_t* error_status,
                           int32_t* error_index);

 private:
  InterfaceSource source_;
  std::map<Oid, AsnValue> mib_;
  bool loaded_ = false;
};

}  // namespace platform
