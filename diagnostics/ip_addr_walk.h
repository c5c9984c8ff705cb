// The walk of the MIB-II IP address table through an SNMP extension agent's query entry:
// one record per address row with its mask and its interface's description.
// Used by the thread running the report; the query function is called on that thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/snmp_agent.h"

namespace diagnostics {

// One row of the IP address table. A row whose queries failed stays empty.
struct AdapterRecord {
  std::string description;  // ifDescr of the row's interface, at most 127 characters
  std::string address;      // dotted text
  std::string mask;         // dotted text
};

// The agent's query entry (SnmpExtensionQuery): PDU type, variables, out error status and index;
// true when the request was processed.
using SnmpQuery = std::function<bool(uint8_t pdu_type, std::vector<platform::VarBind>* list,
                                     int32_t* error_status, int32_t* error_index)>;

// The most rows visited; an agent that never ends its column cannot hold the walk.
inline constexpr size_t kMaxAddressRows = 4096;

// Walks ipAddrTable from its start along the address column. Returns false (the walk failed)
// when ifNumber cannot be obtained; else true with *records holding one record per row visited
// (rows found before a failing step when a step fails).
[[nodiscard]] bool WalkIpAddrTable(const SnmpQuery& query, std::vector<AdapterRecord>* records);

}  // namespace diagnostics
