// The simulated facility: a dial reads its entry's script from the settings store and plays
// it on a worker thread, posting the states a modem dial goes through.
#include "platform/dialup_simulated.h"

#include <chrono>

#include "platform/registry.h"

namespace platform {
namespace {

constexpr char kDeviceType[] = "modem";
constexpr char kDeviceName[] = "Simulated modem";

unsigned ReadDword(const RegKey& key, const char* name, unsigned fallback) {
  uint32_t value = 0;
  return RegQueryDword(key, name, &value) == kErrorSuccess ? value : fallback;
}

std::string ReadString(const RegKey& key, const char* name, const char* fallback) {
  std::string value;
  return RegQueryString(key, name, &value, 256) == kErrorSuccess ? value : fallback;
}

// Credentials the entry insists on; a value that is not set accepts anything.
bool CredentialsAccepted(const RegKey& key, const DialParams& params) {
  std::string user, password;
  if (RegQueryString(key, "User", &user, 256) == kErrorSuccess && user != params.user) {
    return false;
  }
  return RegQueryString(key, "Password", &password, 256) != kErrorSuccess ||
         password == params.password;
}

}  // namespace

std::string SimulatorEntriesKeyPath() { return RemoteAccessKeyPath() + "\\Simulator\\Entries"; }

SimulatedDialup::~SimulatedDialup() {
  std::vector<DialHandle> handles;
  {
    std::lock_guard lock(mu_);
    for (const auto& [handle, call] : calls_) handles.push_back(handle);
  }
  for (DialHandle handle : handles) HangUp(handle);
}

long SimulatedDialup::Dial(const DialParams& params, TargetId notify, DialHandle* handle) {
  *handle = 0;
  RegKey key;
  if (params.entry.empty() ||
      RegOpenKey(Hive::kLocalMachine, SimulatorEntriesKeyPath() + "\\" + params.entry, &key) !=
          kErrorSuccess) {
    return kDialErrorEntryNotFound;
  }
  auto call = std::make_unique<Call>();
  call->entry = params.entry;
  call->notify = notify;
  call->script.delay_ms = ReadDword(key, "DelayMs", 0);
  call->script.result = static_cast<long>(ReadDword(key, "Result", 0));
  if (call->script.result == 0 && !CredentialsAccepted(key, params)) {
    call->script.result = kDialErrorAuthentication;
  }
  call->script.drop_after_ms = ReadDword(key, "DropAfterMs", 0);
  call->script.addresses.local = ReadString(key, "LocalAddress", "10.0.0.2");
  call->script.addresses.server = ReadString(key, "ServerAddress", "10.0.0.1");

  std::lock_guard lock(mu_);
  // One line: a connection that is dialling or made keeps the port open.
  for (const auto& [other, existing] : calls_) {
    if (existing->state != kDialDisconnected) return kDialErrorPortAlreadyOpen;
  }
  Call* raw = call.get();
  *handle = next_handle_++;
  if (next_handle_ == 0) next_handle_ = 1;
  calls_[*handle] = std::move(call);
  raw->worker = std::thread([this, raw] { RunCall(raw); });
  return 0;
}

void SimulatedDialup::RunCall(Call* call) {
  std::unique_lock lock(mu_);
  Report(call, kDialOpenPort, 0);
  const unsigned step = call->script.delay_ms / 3;
  if (!Pause(lock, call, step)) return;
  Report(call, kDialAuthenticate, 0);
  if (!Pause(lock, call, step)) return;
  if (call->script.result != 0) {
    if (!Pause(lock, call, call->script.delay_ms - 2 * step)) return;
    Report(call, kDialDisconnected, call->script.result);
    return;
  }
  Report(call, kDialAuthenticated, 0);
  if (!Pause(lock, call, call->script.delay_ms - 2 * step)) return;
  Report(call, kDialConnected, 0);
  if (call->script.drop_after_ms == 0) return;
  if (!Pause(lock, call, call->script.drop_after_ms)) return;
  Report(call, kDialDisconnected, kDialErrorRemoteDisconnected);
}

bool SimulatedDialup::Pause(std::unique_lock<std::mutex>& lock, Call* call, unsigned ms) {
  cv_.wait_for(lock, std::chrono::milliseconds(ms), [call] { return call->hung_up; });
  return !call->hung_up;
}

void SimulatedDialup::Report(Call* call, int state, long error) {
  call->state = state;
  call->error = error;
  if (call->notify != 0) PostMessage(call->notify, kDialEventMessage, state, error);
}

long SimulatedDialup::HangUp(DialHandle handle) {
  std::unique_ptr<Call> call;
  {
    std::lock_guard lock(mu_);
    auto it = calls_.find(handle);
    if (it == calls_.end()) return kDialErrorInvalidHandle;
    it->second->hung_up = true;
    call = std::move(it->second);
    calls_.erase(it);
  }
  cv_.notify_all();
  if (call->worker.joinable()) call->worker.join();
  return 0;
}

long SimulatedDialup::GetConnectStatus(DialHandle handle, DialStatus* status) {
  std::lock_guard lock(mu_);
  auto it = calls_.find(handle);
  if (it == calls_.end()) return kDialErrorInvalidHandle;
  status->state = it->second->state;
  status->error = it->second->error;
  status->device_type = kDeviceType;
  status->device_name = kDeviceName;
  return 0;
}

long SimulatedDialup::EnumConnections(size_t room, std::vector<ActiveConnection>* out) {
  std::lock_guard lock(mu_);
  std::vector<ActiveConnection> found;
  for (const auto& [handle, call] : calls_) {
    if (call->state == kDialDisconnected) continue;
    found.push_back({handle, call->entry, kDeviceType, kDeviceName});
  }
  out->clear();
  if (found.size() > room) return kDialErrorBufferTooSmall;
  *out = std::move(found);
  return 0;
}

long SimulatedDialup::EnumEntries(std::vector<std::string>* out) {
  out->clear();
  RegKey key;
  if (RegOpenKey(Hive::kLocalMachine, SimulatorEntriesKeyPath(), &key) != kErrorSuccess) return 0;
  std::string name;
  for (uint32_t i = 0; RegEnumKey(key, i, &name) == kErrorSuccess; ++i) out->push_back(name);
  return 0;
}

long SimulatedDialup::GetProjection(DialHandle handle, LinkAddresses* out) {
  std::lock_guard lock(mu_);
  auto it = calls_.find(handle);
  if (it == calls_.end()) return kDialErrorInvalidHandle;
  if (it->second->state != kDialConnected) return kDialErrorNotConnected;
  *out = it->second->script.addresses;
  return 0;
}

}  // namespace platform
