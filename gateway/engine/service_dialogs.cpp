// The service dialogs' checks: each step of a dialog's order is one test here, and the first
// that fails shows its message and names the control to focus.
#include "gateway/engine/service_dialogs.h"

#include "gateway/engine/gateway_app.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"
#include "platform/admin_message.h"

namespace engine {
namespace {

using platform::MessageIcon;

constexpr int kTcp = 0;
constexpr int kUdp = 1;

int Fail(const char* text, int control, int* focus, MessageIcon icon = MessageIcon::kExclamation) {
  platform::ShowAdminMessage(kAppCaption, text, icon);
  *focus = control;
  return -1;
}

// A port the edit may hold: above 0 and one a socket can take (a larger number would be cut
// to 16 bits and open some other port).
bool UsablePort(int port) { return port > 0 && port <= kHighestPort; }

// The transport a listed service listens on.
int TransportOf(const ServiceEntry& e) {
  if (e.ServiceType == kDnsServiceType) return kUdp;
  if (IsMappedLinkType(e.ServiceType) && e.ProtocolType == kUdp) return kUdp;
  return kTcp;
}

// The checks the two kinds of dialog share after their own first steps.
int CheckNumbers(const ServiceDialogInput& input, int* focus) {
  if (!UsablePort(input.port)) return Fail(kE10009, kCtlPort, focus);
  if (input.timeout && input.seconds <= 0) return Fail(kE10009, kCtlSeconds, focus);
  return 0;
}

}  // namespace

ServiceDialogKind DialogKindFor(const std::string& service_type) {
  if (service_type == kDnsServiceType) return ServiceDialogKind::kDns;
  if (IsMappedLinkType(service_type)) return ServiceDialogKind::kMapping;
  if (IsMappedKind(service_type)) return ServiceDialogKind::kMappedServer;
  return ServiceDialogKind::kBuiltIn;
}

ServiceDialogInput ServiceDialogInputFor(const ServiceEntry& e) {
  ServiceDialogInput input;
  input.index = e.index;
  input.active = e.IsActive != 0;
  input.port = e.PortNum;
  input.timeout = e.TimeOut != 0;
  input.seconds = e.TimeoutAfter;
  input.server = e.DefaultHost;
  input.server_port = e.DefaultHostPortNum;
  input.protocol = e.ProtocolType == kUdp ? kUdp : kTcp;
  // An unnamed mapping carries its kind name as its shown name; its dialog shows no name.
  if (IsMappedLinkType(e.ServiceType) && e.MappingName != e.ServiceType) {
    input.mapping_name = e.MappingName;
  }
  input.current_name = input.mapping_name;
  input.use_dialler = e.UseDialler != 0;
  input.use_cache = e.ServiceType == kDnsServiceType && UseDnsCache() != 0;
  return input;
}

int ValidateServiceDialog(ServiceDialogKind kind, const ServiceDialogInput& input,
                          const std::vector<ServiceEntry>& services, int* focus) {
  *focus = 0;
  if (input.active) {
    for (const ServiceEntry& other : services) {
      if (other.index != input.index && other.IsActive && other.PortNum == input.port) {
        return Fail(kE10007, kCtlPort, focus);
      }
    }
  }
  if (CheckNumbers(input, focus) != 0) return -1;
  if (kind == ServiceDialogKind::kMappedServer) {
    if (input.server.empty()) return Fail(kE10008, kCtlServer, focus);
    if (!UsablePort(input.server_port)) return Fail(kE10009, kCtlServerPort, focus);
  }
  return 0;
}

int ValidateMappingDialog(const ServiceDialogInput& input,
                          const std::vector<ServiceEntry>& services, int* focus) {
  *focus = 0;
  const bool renamed = input.index == kUnsetIndex || input.mapping_name != input.current_name;
  if (!input.mapping_name.empty() && renamed) {
    for (const ServiceEntry& other : services) {
      if (other.index != input.index && other.MappingName == input.mapping_name) {
        return Fail(kE10034, kCtlMappingName, focus, MessageIcon::kError);
      }
    }
  }
  const int transport = input.protocol == kUdp ? kUdp : kTcp;
  for (const ServiceEntry& other : services) {
    if (other.index == input.index || other.PortNum != input.port ||
        TransportOf(other) != transport) {
      continue;
    }
    if (IsMappedLinkType(other.ServiceType)) return Fail(kE10006, kCtlPort, focus);
    if (input.active && other.IsActive) return Fail(kE10007, kCtlPort, focus);
  }
  if (CheckNumbers(input, focus) != 0) return -1;
  if (!input.active) return 0;
  if (input.server.empty()) return Fail(kE10008, kCtlRemoteHost, focus);
  if (!UsablePort(input.server_port)) return Fail(kE10009, kCtlRemotePort, focus);
  return 0;
}

}  // namespace engine
