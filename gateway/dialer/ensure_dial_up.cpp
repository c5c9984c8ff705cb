// EnsureDialUp and LinkStatus, read fresh from the settings store on every call so a change on
// the Dial page takes effect at the next request.
#include "gateway/dialer/ensure_dial_up.h"

#include "gateway/dialer/dial_state.h"
#include "gateway/engine/link_provider.h"
#include "gateway/engine/password_scramble.h"
#include "gateway/engine/settings_records.h"

namespace dialer {
namespace {

constexpr size_t kActiveConnectionRoom = 1;

// When the line is taken already, a connection of our own profile made elsewhere serves.
int UseOpenPort(Dialer& d, const std::string& profile) {
  std::vector<platform::ActiveConnection> active;
  if (d.facility->EnumConnections(kActiveConnectionRoom, &active) != 0) return -1;
  for (const auto& connection : active) {
    if (connection.entry == profile) return 0;
  }
  return -1;
}

// Starts a dial of the profile. Dialler lock held.
int StartDial(Dialer& d, const engine::DiallerSettings& settings, int kind) {
  DialState& s = d.state;
  platform::DialParams params;
  params.entry = settings.Profile;
  std::string scrambled;
  engine::LoadProfileCredentials(settings.Profile, &params.user, &scrambled, &params.domain);
  params.password = scrambled;
  engine::ScramblePassword(-1, &params.password);
  s.handle = 0;
  platform::DialHandle handle = 0;
  s.last_dial_result = d.facility->Dial(params, d.window, &handle);
  if (s.last_dial_result == 0) {
    s.handle = handle;
    s.last_dial_kind = kind;
    // A Stop whose disconnected notification never came must not swallow this dial's.
    s.hang_up_by_hand = 0;
    return 1;
  }
  if (handle != 0) d.facility->HangUp(handle);
  s.connected = 0;
  if (s.last_dial_result == platform::kDialErrorPortAlreadyOpen) {
    return UseOpenPort(d, settings.Profile);
  }
  return -1;
}

}  // namespace

int EnsureDialUp(int kind) {
  Dialer& d = TheDialer();
  std::lock_guard lock(d.lock);
  DialState& s = d.state;
  if (d.facility == nullptr) {
    s.connected = 1;
    return 0;
  }
  // After shut-down began no dial may start: it would outlive the program.
  if (d.closing) return -1;
  engine::DiallerSettings settings;
  engine::LoadDiallerSettings(&settings);
  if (s.last_dial_kind == engine::kDialByHand && kind != engine::kDialByHand) {
    s.last_dial_kind = kNoDial;
    return 0;
  }
  if (settings.DialOnDemand == 0 && kind == engine::kDialForSession) {
    s.last_dial_kind = kNoDial;
    return 0;
  }
  if (s.connected == 1) return 0;
  if (s.handle != 0) return 1;
  return StartDial(d, settings, kind);
}

int LinkStatus() {
  Dialer& d = TheDialer();
  std::lock_guard lock(d.lock);
  if (d.facility == nullptr) return 0;
  engine::DiallerSettings settings;
  engine::LoadDiallerSettings(&settings);
  if (settings.DialOnDemand != 1) return 0;
  return d.state.connected == 1 && d.state.handle != 0 ? 0 : -1;
}

}  // namespace dialer
