// The dial-up section, then the address table through an SNMP session, minus the dial-up
// adapters' and the loopback addresses.
#include "diagnostics/adapter_sections.h"

#include <cstdio>

#include "diagnostics/dialup_adapters.h"
#include "diagnostics/ip_addr_walk.h"
#include "diagnostics/report_texts.h"
#include "platform/admin_message.h"

namespace diagnostics {
namespace {

constexpr char kLoopbackAddress[] = "127.0.0.1";

std::string AdapterLine(const std::string& address, const std::string& mask,
                        const std::string& description) {
  char line[64];
  std::snprintf(line, sizeof line, "%-20s%-20s", address.c_str(), mask.c_str());
  return line + description + "\n";
}

void WriteNetworkAdaptersSection(ReportWriter& w, const DialUpAddresses& dial_up,
                                 platform::SnmpAgent& agent) {
  w.Write("SECTION : Network Adapters\n");
  w.Write(AdapterLine("IPAddress", "IPMask", "Adapter is compatible with :"));
  if (!agent.Init()) {
    platform::ShowAdminMessage(kProgramCaption, kSnmpInitFailed);
  }
  SnmpQuery query = [&agent](uint8_t pdu, std::vector<platform::VarBind>* list, int32_t* status,
                             int32_t* index) { return agent.Query(pdu, list, status, index); };
  std::vector<AdapterRecord> records;
  if (WalkIpAddrTable(query, &records)) {
    for (const AdapterRecord& r : records) {
      // A row whose queries failed has no address to show.
      if (r.address.empty() || r.address == dial_up.adapter || r.address == dial_up.vpn ||
          r.address == kLoopbackAddress) {
        continue;
      }
      w.Write(AdapterLine(r.address, r.mask, r.description));
    }
  } else {
    w.Write(kE118);
  }
  w.Write("\n");
}

}  // namespace

void WriteAdapterSections(ReportWriter& w, platform::SnmpAgent& agent) {
  DialUpAddresses dial_up = WriteDialUpAdaptersSection(w);
  w.Flush();
  WriteNetworkAdaptersSection(w, dial_up, agent);
  w.Flush();
}

}  // namespace diagnostics
