// GETNEXT along ipAdEntAddr, then per row one GET of its columns and one of its ifDescr.
#include "diagnostics/ip_addr_walk.h"

#include <algorithm>

namespace diagnostics {
namespace {

using platform::AsnValue;
using platform::Oid;
using platform::VarBind;

constexpr size_t kColumnPosition = 9;  // the 10th sub-identifier of a row's OID
constexpr size_t kDescriptionLength = 127;

std::string DottedAddress(const AsnValue& value) {
  if (value.type != platform::kAsnIpAddress || value.bytes.size() != 4) return "";
  std::string text;
  for (unsigned char octet : value.bytes) {
    if (!text.empty()) text += '.';
    text += std::to_string(octet);
  }
  return text;
}

// A query that was processed and answered without error.
bool Ask(const SnmpQuery& query, uint8_t pdu, std::vector<VarBind>* list) {
  int32_t status = 0;
  int32_t index = 0;
  return query(pdu, list, &status, &index) && status == platform::kSnmpNoError;
}

bool IsAddressRow(const Oid& name) {
  return name.size() > platform::kOidIpAdEntAddr.size() &&
         std::equal(platform::kOidIpAdEntAddr.begin(), platform::kOidIpAdEntAddr.end(),
                    name.begin());
}

// Fills record from the row's columns and its interface's description.
void FillRecord(const SnmpQuery& query, const Oid& row, AdapterRecord* record) {
  std::vector<VarBind> columns;
  for (uint32_t column = 1; column <= 4; ++column) {  // address, ifIndex, mask, broadcast
    columns.push_back({row, {}});
    columns.back().name[kColumnPosition] = column;
  }
  if (!Ask(query, platform::kSnmpPduGet, &columns)) return;
  if (columns[1].value.type != platform::kAsnInteger || columns[1].value.number <= 0) return;
  std::vector<VarBind> descr = {{platform::kOidIfDescr, {}}};
  descr[0].name.push_back(static_cast<uint32_t>(columns[1].value.number));
  if (!Ask(query, platform::kSnmpPduGet, &descr)) return;
  record->description = descr[0].value.bytes.substr(0, kDescriptionLength);
  record->address = DottedAddress(columns[0].value);
  record->mask = DottedAddress(columns[2].value);
}

}  // namespace

bool WalkIpAddrTable(const SnmpQuery& query, std::vector<AdapterRecord>* records) {
  records->clear();
  std::vector<VarBind> count = {{platform::kOidIfNumber, {}}};
  if (!Ask(query, platform::kSnmpPduGet, &count)) return false;
  if (count[0].value.number > 0) {
    records->reserve(std::min<size_t>(count[0].value.number, kMaxAddressRows));
  }
  Oid request = platform::kOidIpAddrTable;
  while (records->size() < kMaxAddressRows) {
    std::vector<VarBind> next = {{request, {}}};
    int32_t status = 0;
    int32_t index = 0;
    if (!query(platform::kSnmpPduGetNext, &next, &status, &index)) break;
    if (status != platform::kSnmpNoError) break;             // noSuchName: past the last object
    if (next[0].value.type == platform::kAsnInteger) break;  // left the address column
    // An answer outside the address column, or not after the request, ends the walk too.
    if (!IsAddressRow(next[0].name) || next[0].name <= request) break;
    records->emplace_back();
    FillRecord(query, next[0].name, &records->back());
    request = next[0].name;
  }
  return true;
}

}  // namespace diagnostics
