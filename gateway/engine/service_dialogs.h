// What the service dialogs check when OK is pressed, as plain functions the console calls: the
// port conflicts, positive numbers, the server and the mapping name, in the order the dialogs
// ask them, each failure with its message and the control that takes the focus. They read
// only what they are handed (and the DNS cache flag); console thread.
#pragma once

#include <string>
#include <vector>

#include "gateway/engine/service_entry.h"

namespace engine {

inline constexpr char kE10006[] = "E-10006: Same service is already mapped to this port.";
inline constexpr char kE10007[] =
    "E-10007: An Actice service is mapped to this port number.\n"
    "Make it Inactive to start this service.";
inline constexpr char kE10008[] = "E-10008: Please enter the server name.";
inline constexpr char kE10009[] = "E-10009: Please enter a positive integer.";
inline constexpr char kE10034[] = "E-10034: Mapping name is already in use.";

// The dialogs' control ids, by which a failed check names the control to focus.
inline constexpr int kCtlActive = 1017;
inline constexpr int kCtlPort = 1012;
inline constexpr int kCtlTimeout = 1013;
inline constexpr int kCtlSeconds = 1015;
inline constexpr int kCtlServer = 1019;
inline constexpr int kCtlServerLabel = 1020;
inline constexpr int kCtlServerPort = 1031;
inline constexpr int kCtlTcp = 1026;
inline constexpr int kCtlUdp = 1009;
inline constexpr int kCtlRemoteHost = 1023;
inline constexpr int kCtlRemotePort = 1025;
inline constexpr int kCtlMappingName = 1096;
inline constexpr int kCtlUseDialler = 1070;
inline constexpr int kCtlUseCache = 1071;

inline constexpr int kHighestPort = 65535;
inline constexpr int kNewMappingSeconds = 180;  // the timeout a new mapping's dialog offers
inline constexpr int kNewMappingCapacity = 10;

// Which dialog a service opens.
enum class ServiceDialogKind {
  kBuiltIn,       // 131: WWW, FTP, Telnet, POP3, RealAudio, Socks
  kMappedServer,  // 133: SMTP, IRC, News
  kMapping,       // 134: TCP and UDP mappings
  kDns,           // 145: DNS
};
[[nodiscard]] ServiceDialogKind DialogKindFor(const std::string& service_type);

// What a dialog holds on OK. A number edit that holds no number counts as 0.
struct ServiceDialogInput {
  int index = kUnsetIndex;  // the service modified; kUnsetIndex for a new mapping
  bool active = false;
  int port = 0;
  bool timeout = false;
  int seconds = 0;
  std::string server;  // 133 default server, 134 default remote host
  int server_port = 0;
  int protocol = 0;          // 134: 0 TCP, 1 UDP
  std::string mapping_name;  // 134
  std::string current_name;  // 134 in "modify" mode: the mapping's name when it opened
  bool use_dialler = false;  // 145
  bool use_cache = false;    // 145
};

// The dialog's contents for a listed service (Modify).
[[nodiscard]] ServiceDialogInput ServiceDialogInputFor(const ServiceEntry& entry);

// Dialogs 131 and 133 (kind says which): 0 when the dialog may close; -1 after the message,
// with *focus the control to focus. services: every listed service, the one modified included.
[[nodiscard]] int ValidateServiceDialog(ServiceDialogKind kind, const ServiceDialogInput& input,
                                        const std::vector<ServiceEntry>& services, int* focus);
// Dialog 134, new or modify (input.index), with the same results.
[[nodiscard]] int ValidateMappingDialog(const ServiceDialogInput& input,
                                        const std::vector<ServiceEntry>& services, int* focus);

}  // namespace engine
