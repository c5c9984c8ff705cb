// The dial-up facility: dials a named phone-book entry asynchronously with given credentials,
// posts its progress to a message target, hangs up, lists entries and active connections and
// reports the link's two addresses. One facility object per process, chosen by the provider
// of the remote-access key (none, simulated, pppd). Thread-safe: every member may be called
// from any thread; progress messages arrive on the target's own thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialup_provider.h"
#include "platform/message_queue.h"

namespace platform {

// The progress message. Our message layer has no registered messages, so it always carries
// the number a failed registration of "RasDialEvent" gives. wParam = connection state,
// lParam = the facility's error code for a failed or dropped connection (0 otherwise).
inline constexpr unsigned kDialEventMessage = 52429;
inline constexpr char kDialEventName[] = "RasDialEvent";

// Connection states.
inline constexpr int kDialOpenPort = 0;
inline constexpr int kDialAuthenticate = 5;
inline constexpr int kDialAuthenticated = 14;
inline constexpr int kDialConnected = 8192;
inline constexpr int kDialDisconnected = 8193;

// Error codes of the facility (0 is success).
inline constexpr long kDialErrorInvalidHandle = 6;  // the handle was hung up and is gone
inline constexpr long kDialErrorInvalidParameter = 87;
inline constexpr long kDialErrorPortAlreadyOpen = 602;
inline constexpr long kDialErrorBufferTooSmall = 603;
inline constexpr long kDialErrorCannotStart = 608;  // the dialling program could not be run
inline constexpr long kDialErrorEntryNotFound = 623;
inline constexpr long kDialErrorCannotReadPhoneBook = 625;
inline constexpr long kDialErrorRemoteDisconnected = 629;
inline constexpr long kDialErrorDeviceFailed = 651;
inline constexpr long kDialErrorNoAnswer = 678;
inline constexpr long kDialErrorAuthentication = 691;
inline constexpr long kDialErrorNotConnected = 731;  // no IP addresses negotiated (yet)
inline constexpr long kDialErrorNotBound = 120;      // no facility on this machine

// 0: no connection.
using DialHandle = uint32_t;

struct DialParams {
  std::string entry;
  std::string phone_number;     // empty: the entry's own
  std::string callback_number;  // empty: none
  std::string user;
  std::string password;  // clear text; the facility never puts it on a command line
  std::string domain;
};

struct DialStatus {
  int state = kDialOpenPort;
  long error = 0;  // why a disconnected connection ended
  std::string device_type;
  std::string device_name;
};

struct ActiveConnection {
  DialHandle handle = 0;
  std::string entry;
  std::string device_type;
  std::string device_name;
};

// The IP addresses of a made connection, dotted.
struct LinkAddresses {
  std::string local;   // the gateway's own address on the link
  std::string server;  // the address of the other end
};

class DialupFacility {
 public:
  virtual ~DialupFacility() = default;
  // Starts a dial of params.entry; progress goes to notify (0: nobody). 0 when the dial has
  // started (*handle set; the caller must HangUp it in the end, also after a failure);
  // kDialErrorPortAlreadyOpen while another connection holds the line; else an error code.
  [[nodiscard]] virtual long Dial(const DialParams& params, TargetId notify,
                                  DialHandle* handle) = 0;
  // Ends the connection or dial. Nothing is posted for it afterwards and the handle is gone.
  // 0, or kDialErrorInvalidHandle.
  virtual long HangUp(DialHandle handle) = 0;
  // 0 with the state, or kDialErrorInvalidHandle once a hung-up handle is gone.
  [[nodiscard]] virtual long GetConnectStatus(DialHandle handle, DialStatus* status) = 0;
  // The connections that are dialling or made. kDialErrorBufferTooSmall (and nothing in *out)
  // when there are more than room.
  [[nodiscard]] virtual long EnumConnections(size_t room, std::vector<ActiveConnection>* out) = 0;
  // Names of the phone-book entries in name order.
  [[nodiscard]] virtual long EnumEntries(std::vector<std::string>* out) = 0;
  // The two addresses of a made connection; kDialErrorNotConnected before.
  [[nodiscard]] virtual long GetProjection(DialHandle handle, LinkAddresses* out) = 0;
};

// The facility of provider; nullptr for kNone (the machine has no dial-up).
[[nodiscard]] std::unique_ptr<DialupFacility> BindDialupFacility(DialupProvider provider);

// The text for one of the error codes above. 0, or kDialErrorInvalidParameter for a code
// without a text (callers then show their own).
[[nodiscard]] long DialErrorString(long code, std::string* text);

}  // namespace platform
