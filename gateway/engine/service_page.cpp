// The Services page's operations on the ServiceList, the listeners and the store.
#include "gateway/engine/service_page.h"

#include <memory>

#include "gateway/engine/config_store.h"
#include "gateway/engine/gateway_app.h"
#include "gateway/engine/listeners.h"
#include "gateway/engine/message_text.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"
#include "platform/admin_message.h"

namespace engine {
namespace {

// The dialog's values taken into a record (the mapping dialog's into a mapped kind by protocol).
void TakeInput(const ServiceDialogInput& input, ServiceEntry* e) {
  e->IsActive = input.active ? 1 : 0;
  e->PortNum = input.port;
  e->TimeOut = input.timeout ? 1 : 0;
  e->TimeoutAfter = input.seconds;
  const ServiceDialogKind kind = DialogKindFor(e->ServiceType);
  if (kind == ServiceDialogKind::kMappedServer || kind == ServiceDialogKind::kMapping) {
    e->DefaultHost = CutText(input.server, kDefaultHostWidth);
    e->DefaultHostPortNum = input.server_port;
  }
  if (kind == ServiceDialogKind::kMapping) {
    e->ProtocolType = input.protocol == 1 ? 1 : 0;
    e->ServiceType = e->ProtocolType == 1 ? kUdpMappedLinkType : kTcpMappedLinkType;
    const std::string name = CutText(input.mapping_name, kMappingNameWidth);
    // Unnamed, it goes by its kind name, as a load from the store gives it.
    e->MappingName = name.empty() ? e->ServiceType : name;
  }
}

int ModifyDns(const ServiceEntry& listed, const ServiceDialogInput& input, ServiceEntry* e) {
  e->IsActive = input.active ? 1 : 0;
  e->UseDialler = input.use_dialler ? 1 : 0;
  // The DNS socket always takes port 53, where resolvers ask.
  e->PortNum = kDnsPort;
  SetUseDnsCache(input.use_cache ? 1 : 0);
  SetDnsSettings(e->IsActive, e->UseDialler);
  if (e->IsActive != listed.IsActive || listed.PortNum != kDnsPort) {
    if (ReopenDnsSocket() != 0 && e->IsActive) {
      e->IsActive = 0;
      SetDnsSettings(0, e->UseDialler);
    }
  }
  return Services().Update(listed.PortNum, listed.ServiceType, *e);
}

}  // namespace

std::string ServiceRowName(const ServiceEntry& e) {
  return e.MappingName.empty() ? e.ServiceType : e.MappingName;
}

bool IsBuiltInService(const ServiceEntry& e) { return !IsMappedLinkType(e.ServiceType); }

int AddMapping(const ServiceDialogInput& input, ServiceEntry* added) {
  int total = 0;
  if (ReadTotalServices(&total) != 0) return -1;
  ServiceEntry e;
  e.index = total;
  e.ListenCapacity = kNewMappingCapacity;
  e.ServiceType = kTcpMappedLinkType;
  TakeInput(input, &e);
  (void)OpenListener(&e);
  Services().Append(std::make_unique<ServiceEntry>(e));
  SelectListener(e);
  ServiceEntry stored = e;
  if (stored.MappingName == stored.ServiceType) stored.MappingName.clear();
  *added = e;
  return CreateServiceEntry(total, stored);
}

int ModifyService(const ServiceEntry& listed, const ServiceDialogInput& input, ServiceEntry* now) {
  ServiceEntry e = listed;
  if (listed.ServiceType == kDnsServiceType) {
    if (ModifyDns(listed, input, &e) != 0) return -1;
  } else {
    TakeInput(input, &e);
    // A port that cannot be taken has been reported; the service is kept, inactive.
    (void)ApplyServiceChange(listed.PortNum, listed.ServiceType, &e);
    if (Services().Update(listed.PortNum, listed.ServiceType, e) != 0) return -1;
    SelectListener(e);
  }
  for (const ServiceEntry& listed_now : Services().Snapshot()) {
    if (listed_now.index == listed.index) {
      *now = listed_now;
      return 0;
    }
  }
  return -1;
}

int DeleteService(const ServiceEntry& listed) {
  if (IsBuiltInService(listed)) {
    platform::ShowAdminMessage(kAppCaption, FillIn(kCantDeleteService, ServiceRowName(listed)),
                               platform::MessageIcon::kExclamation);
    return -1;
  }
  return Services().Delete(listed.PortNum, listed.ServiceType);
}

}  // namespace engine
