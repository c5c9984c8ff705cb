// Dial and Stop by hand, and the status line's texts.
#include "gateway/dialer/dial_by_hand.h"

#include "gateway/dialer/dial_page_rules.h"
#include "gateway/dialer/dial_state.h"
#include "gateway/dialer/ensure_dial_up.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/gateway_app.h"
#include "gateway/engine/link_provider.h"
#include "gateway/engine/settings_records.h"
#include "platform/admin_message.h"

namespace dialer {
namespace {

constexpr size_t kActiveConnectionRoom = 1;
constexpr int kDialPreparingFirst = 0;  // opening the port and the two states after it
constexpr int kDialPreparingLast = 2;
constexpr int kDialLoggingOn = 21;

std::string ErrorText(long code, const std::string& otherwise) {
  std::string text;
  return platform::DialErrorString(code, &text) == 0 ? text : otherwise;
}

// The first active connection's entry; "" when there is none. -1 when listing fails.
// Dialler lock held.
int FirstActiveEntry(Dialer& d, std::string* entry) {
  entry->clear();
  std::vector<platform::ActiveConnection> active;
  if (d.facility->EnumConnections(kActiveConnectionRoom, &active) != 0) return -1;
  if (!active.empty()) *entry = active.front().entry;
  return 0;
}

// "prefix<entry>suffix" for the first active connection, with the two fallbacks.
std::string WithActiveEntry(Dialer& d, const std::string& prefix, const std::string& suffix) {
  std::string entry;
  if (FirstActiveEntry(d, &entry) != 0) return "Connection in progress...";
  if (entry.empty()) return kOffline;
  return prefix + entry + suffix;
}

std::string ConnectedText(Dialer& d) {
  platform::LinkAddresses addresses;
  if (d.facility->GetProjection(d.state.handle, &addresses) != 0) {
    return WithActiveEntry(d, "Connected to ", "");
  }
  return WithActiveEntry(d, "Connected to ",
                         " at IP - " + addresses.server + " from IP -  " + addresses.local);
}

}  // namespace

int DialByHand(const std::string& profile, std::string* status) {
  Dialer& d = TheDialer();
  {
    std::lock_guard lock(d.lock);
    if (d.state.handle != 0) {
      platform::ShowAdminMessage(engine::kAppCaption, kE10027, platform::MessageIcon::kExclamation);
      return -1;
    }
  }
  if (profile.empty()) {
    platform::ShowAdminMessage(engine::kAppCaption, kE10016, platform::MessageIcon::kError);
    return -1;
  }
  *status = kInitializingModem;
  if (EnsureDialUp(engine::kDialByHand) == -1) {
    std::lock_guard lock(d.lock);
    *status = ErrorText(d.state.last_dial_result, "");
    return -1;
  }
  std::lock_guard lock(d.lock);
  if (d.facility == nullptr) return 0;
  platform::DialStatus dial;
  long rc = d.facility->GetConnectStatus(d.state.handle, &dial);
  if (rc != 0) {
    *status = ErrorText(rc, kOffline);
    d.state.handle = 0;
    d.state.connected = 0;
    return 0;
  }
  *status = dial.device_type + dial.device_name;
  return 0;
}

int StopByHand(int live_sessions) {
  Dialer& d = TheDialer();
  platform::TargetId window = 0;
  bool held;
  {
    std::lock_guard lock(d.lock);
    held = d.state.handle != 0;
    window = d.window;
  }
  if (held) {
    if (live_sessions > 0) {
      const std::string question =
          std::to_string(live_sessions) + " " + engine::kCloseAnywayQuestion;
      if (platform::ShowAdminMessage(engine::kAppCaption, question,
                                     platform::MessageIcon::kExclamation,
                                     platform::MessageButtons::kYesNo) != platform::kIdYes) {
        return -1;
      }
    }
    {
      std::lock_guard lock(d.lock);
      if (d.state.handle != 0 && d.facility != nullptr) d.facility->HangUp(d.state.handle);
      d.state.hang_up_by_hand = 1;
      d.state.handle = 0;
      d.state.connected = 0;
    }
    if (window != 0) platform::PostMessage(window, engine::kMsgGiveUpDial, 0, 0);
    return 0;
  }
  engine::DiallerSettings settings;
  (void)engine::LoadDiallerSettings(&settings);
  std::lock_guard lock(d.lock);
  if (d.facility == nullptr) return 0;
  std::vector<platform::ActiveConnection> active;
  if (d.facility->EnumConnections(kActiveConnectionRoom, &active) != 0) return 0;
  for (const auto& connection : active) {
    if (connection.entry == settings.Profile) d.facility->HangUp(connection.handle);
  }
  return 0;
}

// A disconnected state is left to the dialler: its own notification decides between a redial
// and giving up, so watching the page never cuts the configured redials short.
std::string DialStatusLine() {
  Dialer& d = TheDialer();
  std::lock_guard lock(d.lock);
  if (d.facility == nullptr) return kOffline;
  if (d.state.handle == 0 && d.state.connected == 0) {
    return WithActiveEntry(d, "Modem is in use for ", "");
  }
  platform::DialStatus dial;
  if (d.facility->GetConnectStatus(d.state.handle, &dial) != 0) return kOffline;
  if (dial.state >= kDialPreparingFirst && dial.state <= kDialPreparingLast) {
    return WithActiveEntry(d, "Establishing connection to ", "...");
  }
  switch (dial.state) {
    case platform::kDialAuthenticate:
      return "Sending authentication information...";
    case platform::kDialAuthenticated:
      return "Authentication completed...";
    case kDialLoggingOn:
      return "Logging on to network...";
    case platform::kDialConnected:
      return ConnectedText(d);
    default:
      return kOffline;
  }
}

}  // namespace dialer
