// Opening, selecting and re-opening listeners, and the port-53 socket.
#include "gateway/engine/listeners.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/gateway_app.h"
#include "gateway/engine/message_text.h"
#include "gateway/engine/net_dispatcher.h"
#include "gateway/engine/rule_list.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"
#include "platform/admin_message.h"

namespace engine {
namespace {

enum class Opened { kOk, kNoSocket, kBindFailed };

// Process-wide DNS socket state.
std::mutex g_dns_lock;
platform::Socket g_dns_socket = platform::kInvalidSocket;  // guarded by g_dns_lock
int g_dns_active = 0;
int g_dns_use_dialler = 0;
platform::TargetId g_dns_window = 0;
unsigned g_dns_message = 0;

void ShowError(const std::string& text) {
  platform::ShowAdminMessage(kAppCaption, text, platform::MessageIcon::kError);
}

bool IsDatagramEntry(const ServiceEntry& e) {
  int code = KindCodeFromName(e.ServiceType);
  return (code == kCodeTcpMappedLink || code == kCodeUdpMappedLink) && e.ProtocolType == 1;
}

constexpr int kClientSpeaksFirstSeconds = 1;

// The stored ListenCapacity stays as it is, but a burst of connections must not be refused
// because of a small one: the kernel never gets less than the system's own maximum.
int KernelBacklog(int capacity) { return std::max(capacity, SOMAXCONN); }

// Makes, binds and (for streams) listens the entry's socket; sets its code and resolution.
Opened CreateListener(ServiceEntry* e) {
  e->resolved_target = kUnresolved;
  e->service_code = -1;
  // Listeners take IPv6 clients as well as IPv4 ones.
  platform::Socket s =
      platform::CreateDualStackSocket(IsDatagramEntry(*e) ? SOCK_DGRAM : SOCK_STREAM);
  if (s == platform::kInvalidSocket) return Opened::kNoSocket;
  e->service_code = KindCodeFromName(e->ServiceType);
  if (platform::BindAny(s, static_cast<uint16_t>(e->PortNum)) != 0 ||
      (!IsDatagramEntry(*e) && platform::Listen(s, KernelBacklog(e->ListenCapacity)) != 0)) {
    platform::CloseSocket(s);
    return Opened::kBindFailed;
  }
  // Web and SOCKS clients speak first: their connections are reported once the request's
  // first bytes are in, so a session starts with something to read instead of sleeping
  // until it comes. A silent client is still reported, some seconds later.
  if (e->service_code == kCodeWww || e->service_code == kCodeSocks) {
    int seconds = kClientSpeaksFirstSeconds;
    setsockopt(s, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
  }
  e->listening_socket = s;
  return Opened::kOk;
}

}  // namespace

bool ListenerEventFor(const ServiceEntry& e, unsigned* message, long* events) {
  if (e.listening_socket == platform::kInvalidSocket || e.service_code < kCodeWww ||
      e.service_code > kCodeRealAudio) {
    return false;
  }
  *events = platform::kFdAccept;
  switch (e.service_code) {
    case kCodeWww:
      *message = kMsgWwwAccept;
      break;
    case kCodeFtp:
      *message = kMsgFtpAccept;
      break;
    case kCodeTelnet:
      *message = kMsgTelnetAccept;
      break;
    case kCodePop3:
      *message = kMsgPop3Accept;
      break;
    case kCodeSocks:
      *message = kMsgSocksAccept;
      break;
    case kCodeRealAudio:
      *message = kMsgRealAudioAccept;
      break;
    case kCodeTcpMappedLink:
    case kCodeUdpMappedLink:
      if (e.ProtocolType == 1) {
        *message = kMsgUdpMappedRead;
        *events = platform::kFdRead;
      } else {
        *message = kMsgMappedAccept;
      }
      break;
    default:
      *message = kMsgMappedAccept;
      break;
  }
  return true;
}

int StartListeners() {
  std::vector<std::string> failures;
  bool open_dns = false;
  Services().ForEach([&](ServiceEntry& e) {
    if (e.ServiceType == kDnsServiceType) {
      e.PortNum = kDnsPort;
      e.listening_socket = platform::kInvalidSocket;
      e.TimeOut = 0;
      SetDnsSettings(e.IsActive, e.UseDialler);
      open_dns = true;
      return;
    }
    e.listening_socket = platform::kInvalidSocket;
    if (!e.IsActive) return;
    switch (CreateListener(&e)) {
      case Opened::kOk:
        break;
      case Opened::kNoSocket:
        e.IsActive = 0;
        break;
      case Opened::kBindFailed:
        e.IsActive = 0;
        failures.push_back(FillIn(kE10040, e.PortNum));
        break;
    }
  });
  for (const auto& text : failures) ShowError(text);
  if (open_dns && OpenDnsSocket() != 0) {
    Services().ForEach([](ServiceEntry& e) {
      if (e.ServiceType == kDnsServiceType) e.IsActive = 0;
    });
  }
  LoadRules();
  StartNetMessageQueue();
  return 0;
}

void SelectListeners(platform::TargetId window) {
  for (const ServiceEntry& e : Services().Snapshot()) {
    unsigned message = 0;
    long events = 0;
    if (ListenerEventFor(e, &message, &events)) {
      platform::AsyncSelect(e.listening_socket, window, message, events);
    }
  }
  SelectDnsSocket(window, kMsgDnsDatagram);
}

int OpenListener(ServiceEntry* entry) {
  if (!entry->IsActive) {
    entry->listening_socket = platform::kInvalidSocket;
    return -1;
  }
  switch (CreateListener(entry)) {
    case Opened::kOk:
      return 0;
    case Opened::kNoSocket:
      entry->IsActive = 0;
      return -1;
    case Opened::kBindFailed:
      break;
  }
  entry->listening_socket = platform::kInvalidSocket;
  entry->IsActive = 0;
  ShowError(FillIn(kSocketListeningError, entry->PortNum));
  return -1;
}

void SelectListener(const ServiceEntry& entry) {
  unsigned message = 0;
  long events = 0;
  if (ListenerEventFor(entry, &message, &events)) {
    platform::AsyncSelect(entry.listening_socket, NetMsgTarget(), message, events);
  }
}

int ApplyServiceChange(int old_port, const std::string& name, ServiceEntry* entry) {
  ServiceEntry listed;
  if (!Services().Find(old_port, name, &listed) || listed.ServiceType != name) return -1;
  if (entry->IsActive == listed.IsActive && entry->PortNum == listed.PortNum) {
    bool same_target = entry->DefaultHostPortNum == listed.DefaultHostPortNum &&
                       entry->DefaultHost == listed.DefaultHost &&
                       entry->ProtocolType == listed.ProtocolType;
    if (listed.service_code < kCodeTcpMappedLink || same_target) {
      entry->listening_socket = listed.listening_socket;
      entry->service_code = listed.service_code;
      entry->resolved_target = listed.resolved_target;
      return 0;
    }
    if (entry->ProtocolType == listed.ProtocolType) {
      entry->listening_socket = listed.listening_socket;
      entry->service_code = listed.service_code;
      entry->resolved_target = kUnresolved;
      return 0;
    }
    if (listed.listening_socket == platform::kInvalidSocket) return 0;
  }
  if (listed.listening_socket != platform::kInvalidSocket) {
    platform::CloseSocket(listed.listening_socket);
  }
  entry->service_code = ServiceCodeFromName(name);
  entry->resolved_target = kUnresolved;
  entry->listening_socket = platform::kInvalidSocket;
  if (!entry->IsActive) return 0;
  if (CreateListener(entry) == Opened::kOk) return 0;
  entry->listening_socket = platform::kInvalidSocket;
  entry->IsActive = 0;
  ShowError(FillIn(kPortInUseChange, entry->PortNum));
  return -1;
}

int OpenDnsSocket() {
  std::lock_guard lock(g_dns_lock);
  if (!g_dns_active) return -1;
  platform::Socket s = platform::CreateDualStackSocket(SOCK_DGRAM);
  if (s == platform::kInvalidSocket) return -1;
  if (platform::BindAny(s, kDnsPort) != 0) {
    platform::CloseSocket(s);
    ShowError(kE10010);
    return -1;
  }
  g_dns_socket = s;
  return 0;
}

void SelectDnsSocket(platform::TargetId window, unsigned message) {
  std::lock_guard lock(g_dns_lock);
  g_dns_window = window;
  g_dns_message = message;
  if (g_dns_active && g_dns_socket != platform::kInvalidSocket) {
    platform::AsyncSelect(g_dns_socket, window, message, platform::kFdRead);
  }
}

void CloseDnsSocket() {
  std::lock_guard lock(g_dns_lock);
  if (g_dns_socket != platform::kInvalidSocket) platform::CloseSocket(g_dns_socket);
  g_dns_socket = platform::kInvalidSocket;
}

int ReopenDnsSocket() {
  CloseDnsSocket();
  int rc = OpenDnsSocket();
  platform::TargetId window;
  unsigned message;
  {
    std::lock_guard lock(g_dns_lock);
    window = g_dns_window;
    message = g_dns_message;
  }
  SelectDnsSocket(window, message);
  return rc;
}

platform::Socket DnsSocket() {
  std::lock_guard lock(g_dns_lock);
  return g_dns_socket;
}

int DnsUseDialler() {
  std::lock_guard lock(g_dns_lock);
  return g_dns_use_dialler;
}

void SetDnsSettings(int is_active, int use_dialler) {
  std::lock_guard lock(g_dns_lock);
  g_dns_active = is_active;
  g_dns_use_dialler = use_dialler;
}

}  // namespace engine
