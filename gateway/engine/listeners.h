// Listening sockets: opening them at start-up and when the console adds or changes a
// service, selecting them for the NetMsg target, and the process-wide port-53 socket.
// StartListeners runs once on the start-up thread; the rest is called by the console thread.
#pragma once

#include <string>

#include "gateway/engine/service_entry.h"
#include "platform/message_queue.h"

namespace engine {

inline constexpr char kE10040[] =
    "E-10040: Port %d is already in use, possibly by another application.";
inline constexpr char kE10010[] = "E-10010: DNS port 53 is already in use by another application.";
inline constexpr char kSocketListeningError[] = "Socket listening error : %d.";
inline constexpr char kPortInUseChange[] =
    "This port number (%d) is already in use. Please use a different port number.";

// Opens every active entry's listener (reporting taken ports), the DNS socket, then starts the
// NetMsg thread. 0.
int StartListeners();
// Selects every listener and the DNS socket for window.
void SelectListeners(platform::TargetId window);
// Opens a new entry's listener (console "New"). 0 or -1.
int OpenListener(ServiceEntry* entry);
// Selects one entry's socket for the NetMsg target.
void SelectListener(const ServiceEntry& entry);
// Re-opens a changed entry's listener when needed (console "Modify"). 0 or -1.
int ApplyServiceChange(int old_port, const std::string& name, ServiceEntry* entry);

int OpenDnsSocket();
void SelectDnsSocket(platform::TargetId window, unsigned message);
int ReopenDnsSocket();
// Closes the port-53 socket (shut-down).
void CloseDnsSocket();
// The port-53 socket (kInvalidSocket when DNS is off), for the DNS sessions.
[[nodiscard]] platform::Socket DnsSocket();
// The DNS entry's UseDialler as taken at start-up or the last change.
[[nodiscard]] int DnsUseDialler();
// Takes the DNS entry's new settings (console "Modify DNS").
void SetDnsSettings(int is_active, int use_dialler);

// The listener message and event of an entry's kind; false for entries that have none.
bool ListenerEventFor(const ServiceEntry& entry, unsigned* message, long* events);

}  // namespace engine
