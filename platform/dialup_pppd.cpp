// The pppd facility: each dial is one pppd child in a process group of its own (so hang-up
// also ends its connect script), with its output on a pipe that a reader thread turns into
// progress messages. The child is reaped only after it is marked ended, so its pid is never
// signalled after it could have been reused.
#include "platform/dialup_pppd.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "platform/registry.h"

namespace platform {
namespace {

constexpr char kDefaultPeersDir[] = "/etc/ppp/peers";
constexpr char kDeviceType[] = "modem";
constexpr size_t kMaxLine = 1024;  // a longer output line is cut
constexpr int kExitPollMs = 250;   // how often a silent pppd is checked for having ended

bool ValidEntryName(const std::string& entry) {
  return !entry.empty() && entry[0] != '.' && entry.find('/') == std::string::npos &&
         entry.back() != '~';
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string PrivateBaseDir() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && *runtime != '\0' ? runtime : "/tmp";
}

// True when pid has exited (it stays a zombie until reaped); *exit_code is -1 for a signal.
bool HasExited(pid_t pid, int* exit_code, bool block) {
  siginfo_t info{};
  int flags = WEXITED | WNOWAIT | (block ? 0 : WNOHANG);
  while (waitid(P_PID, static_cast<id_t>(pid), &info, flags) != 0) {
    if (errno != EINTR) return true;  // not our child any more: nothing left to wait for
  }
  if (info.si_pid == 0) return false;
  *exit_code = info.si_code == CLD_EXITED ? info.si_status : -1;
  return true;
}

// Runs argv[0] in a process group of its own with stdin from /dev/null and stdout and stderr
// on a pipe whose read end goes to *output; no other descriptor of ours is inherited.
int SpawnWithOutputPipe(char* const argv[], pid_t* pid, int* output) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  int rc = posix_spawn(pid, argv[0], &actions, &attr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    return -1;
  }
  *output = out[0];
  return 0;
}

}  // namespace

PppdConfig LoadPppdConfig() {
  PppdConfig config;
  RegKey key;
  bool have_key = RegOpenKey(Hive::kLocalMachine, RemoteAccessKeyPath(), &key) == kErrorSuccess;
  std::string value;
  if (const char* env = std::getenv("WAYFARER_PPPD"); env != nullptr && *env != '\0') {
    config.pppd_path = env;
  } else if (have_key && RegQueryString(key, "Pppd", &value, 1024) == kErrorSuccess) {
    config.pppd_path = value;
  }
  if (const char* env = std::getenv("WAYFARER_PPP_PEERS"); env != nullptr && *env != '\0') {
    config.peers_dir = env;
  } else if (have_key && RegQueryString(key, "PeersDirectory", &value, 1024) == kErrorSuccess) {
    config.peers_dir = value;
  }
  return config;
}

PppdDialup::PppdDialup(PppdConfig config) : config_(std::move(config)) {}

PppdDialup::~PppdDialup() {
  std::vector<DialHandle> handles;
  {
    std::lock_guard lock(mu_);
    for (const auto& [handle, call] : calls_) handles.push_back(handle);
  }
  for (DialHandle handle : handles) HangUp(handle);
}

long PppdDialup::Dial(const DialParams& params, TargetId notify, DialHandle* handle) {
  *handle = 0;
  if (!ValidEntryName(params.entry) || !IsRegularFile(config_.peers_dir + "/" + params.entry)) {
    return kDialErrorEntryNotFound;
  }
  std::lock_guard lock(mu_);
  for (const auto& [other, existing] : calls_) {
    if (!existing->ended) return kDialErrorPortAlreadyOpen;
  }
  auto call = std::make_unique<Call>();
  call->entry = params.entry;
  call->notify = notify;
  if (long rc = StartPppd(params, call.get()); rc != 0) return rc;
  Call* raw = call.get();
  *handle = next_handle_++;
  if (next_handle_ == 0) next_handle_ = 1;
  calls_[*handle] = std::move(call);
  Report(raw, kDialOpenPort, 0);
  raw->reader = std::thread([this, raw] { ReadOutput(raw); });
  return 0;
}

long PppdDialup::StartPppd(const DialParams& params, Call* call) {
  std::string options;
  if (!PppdCredentialOptions(params, &options)) return kDialErrorInvalidParameter;
  if (WritePrivateOptionsFile(PrivateBaseDir(), options, &call->options_dir) != 0) {
    return kDialErrorCannotStart;
  }
  std::vector<std::string> args = {config_.pppd_path};
  if (config_.peers_dir == kDefaultPeersDir) {
    args.insert(args.end(), {"call", params.entry});
  } else {
    args.insert(args.end(), {"file", config_.peers_dir + "/" + params.entry});
  }
  // nodetach comes last so a peers file's detach option cannot take pppd out of our reach.
  args.insert(args.end(), {"file", call->options_dir + "/options", "nodetach"});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  if (SpawnWithOutputPipe(argv.data(), &call->pid, &call->output) != 0) {
    RemovePrivateOptionsFile(call->options_dir);
    call->options_dir.clear();
    return kDialErrorCannotStart;
  }
  return 0;
}

void PppdDialup::ReadOutput(Call* call) {
  std::string pending;
  char buf[512];
  int exit_code = -1;
  for (;;) {
    pollfd pfd{call->output, POLLIN, 0};
    int ready = poll(&pfd, 1, kExitPollMs);
    if (ready < 0 && errno == EINTR) continue;
    // A grandchild may keep the pipe open after pppd itself is gone: pppd's exit ends the dial.
    if (ready == 0) {
      if (HasExited(call->pid, &exit_code, false)) break;
      continue;
    }
    ssize_t n = read(call->output, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buf, static_cast<size_t>(n));
    size_t pos;
    while ((pos = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, std::min(pos, kMaxLine));
      if (!line.empty() && line.back() == '\r') line.pop_back();
      OnLine(call, line);
      pending.erase(0, pos + 1);
    }
    if (pending.size() > kMaxLine) pending.clear();
  }
  close(call->output);
  HasExited(call->pid, &exit_code, true);
  OnExit(call, exit_code);
  waitpid(call->pid, nullptr, 0);
}

void PppdDialup::OnLine(Call* call, const std::string& line) {
  std::lock_guard lock(mu_);
  switch (ParsePppdLine(line, &call->progress)) {
    case PppdEvent::kLinkUp:
      Report(call, kDialAuthenticate, 0);
      break;
    case PppdEvent::kAuthenticated:
      Report(call, kDialAuthenticated, 0);
      break;
    case PppdEvent::kAddressesKnown: {
      std::string address;
      if (!InterfaceIsUp(call->progress.interface_name, &address)) {
        // pppd says the link carries IP but no such interface is up: not a usable link.
        call->error = kDialErrorNotConnected;
        if (!call->hung_up) kill(-call->pid, SIGTERM);
        break;
      }
      if (call->progress.addresses.local.empty()) call->progress.addresses.local = address;
      RemovePrivateOptionsFile(call->options_dir);
      call->options_dir.clear();
      Report(call, kDialConnected, 0);
      break;
    }
    case PppdEvent::kNone:
      break;
  }
}

void PppdDialup::OnExit(Call* call, int exit_code) {
  {
    std::lock_guard lock(mu_);
    call->ended = true;
    RemovePrivateOptionsFile(call->options_dir);
    call->options_dir.clear();
    long error = call->error != 0 ? call->error
                                  : PppdExitError(exit_code, call->state == kDialConnected,
                                                  call->progress.authentication_failed);
    Report(call, kDialDisconnected, error);
  }
  cv_.notify_all();
}

void PppdDialup::Report(Call* call, int state, long error) {
  if (call->hung_up) return;
  call->state = state;
  call->error = error;
  if (call->notify != 0) PostMessage(call->notify, kDialEventMessage, state, error);
}

long PppdDialup::HangUp(DialHandle handle) {
  std::unique_ptr<Call> call;
  std::unique_lock lock(mu_);
  auto it = calls_.find(handle);
  if (it == calls_.end()) return kDialErrorInvalidHandle;
  call = std::move(it->second);
  calls_.erase(it);
  call->hung_up = true;
  if (!call->ended) kill(-call->pid, SIGTERM);
  if (!cv_.wait_for(lock, std::chrono::milliseconds(config_.hang_up_grace_ms),
                    [&] { return call->ended; })) {
    kill(-call->pid, SIGKILL);
  }
  lock.unlock();
  if (call->reader.joinable()) call->reader.join();
  return 0;
}

long PppdDialup::GetConnectStatus(DialHandle handle, DialStatus* status) {
  std::lock_guard lock(mu_);
  auto it = calls_.find(handle);
  if (it == calls_.end()) return kDialErrorInvalidHandle;
  const Call& call = *it->second;
  status->state = call.state;
  status->error = call.state == kDialDisconnected ? call.error : 0;
  status->device_type = kDeviceType;
  status->device_name =
      call.progress.interface_name.empty() ? call.entry : call.progress.interface_name;
  return 0;
}

long PppdDialup::EnumConnections(size_t room, std::vector<ActiveConnection>* out) {
  std::lock_guard lock(mu_);
  std::vector<ActiveConnection> found;
  for (const auto& [handle, call] : calls_) {
    if (call->ended) continue;
    std::string device =
        call->progress.interface_name.empty() ? call->entry : call->progress.interface_name;
    found.push_back({handle, call->entry, kDeviceType, device});
  }
  out->clear();
  if (found.size() > room) return kDialErrorBufferTooSmall;
  *out = std::move(found);
  return 0;
}

long PppdDialup::EnumEntries(std::vector<std::string>* out) {
  out->clear();
  DIR* dir = opendir(config_.peers_dir.c_str());
  if (dir == nullptr) return errno == ENOENT ? 0 : kDialErrorCannotReadPhoneBook;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (ValidEntryName(name) && IsRegularFile(config_.peers_dir + "/" + name)) {
      out->push_back(name);
    }
  }
  closedir(dir);
  std::sort(out->begin(), out->end());
  return 0;
}

long PppdDialup::GetProjection(DialHandle handle, LinkAddresses* out) {
  std::lock_guard lock(mu_);
  auto it = calls_.find(handle);
  if (it == calls_.end()) return kDialErrorInvalidHandle;
  if (it->second->state != kDialConnected) return kDialErrorNotConnected;
  *out = it->second->progress.addresses;
  return 0;
}

}  // namespace platform
