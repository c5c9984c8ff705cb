// The dispatcher: listener events to new sessions.
#include "gateway/engine/net_dispatcher.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <sys/socket.h>

#include "gateway/engine/client_filter.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/listeners.h"
#include "gateway/engine/relay_openings.h"
#include "gateway/engine/relay_session.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"

namespace engine {
namespace {

std::map<unsigned, SessionFactory> g_factories;  // written before the thread starts
std::atomic<platform::TargetId> g_netmsg{0};
std::mutex g_ready_lock;
std::condition_variable g_ready;
std::mutex g_watch_lock;
std::map<platform::Socket, unsigned> g_watched;  // guarded by g_watch_lock

constexpr unsigned kMsgStopDispatcher = kWmUser + 210;

class NetMessageQueue : public platform::WorkerThread {
 protected:
  int Run() override {
    platform::TargetId window = platform::CreateTarget();
    SelectListeners(window);
    {
      std::lock_guard lock(g_ready_lock);
      g_netmsg.store(window);
    }
    g_ready.notify_all();
    platform::Message msg;
    while (platform::GetMessage(&msg)) {
      if (msg.target == 0 && msg.message == kMsgStopDispatcher) break;
      if (msg.target == window) DispatchNetMessage(window, msg.message, msg.wparam, msg.lparam);
    }
    g_netmsg.store(0);
    platform::DestroyTarget(window);
    return 0;
  }
};

NetMessageQueue* g_thread = nullptr;

// A connection nobody will serve is still taken off the listener, so it keeps reporting.
void TakeOffAndClose(platform::Socket listening) {
  platform::Socket s = platform::Accept(listening);
  if (s != platform::kInvalidSocket) platform::CloseSocket(s);
}

void StartSession(platform::WorkerThread* session, platform::Socket listening, bool stream) {
  if (session) {
    session->set_auto_delete(true);
    if (session->CreateThread()) return;
    delete session;
  }
  if (stream) TakeOffAndClose(listening);
}

platform::WorkerThread* MakeRelay(platform::Socket listening, int code) {
  if (code != kCodeTcpMappedLink && !HasOpening(code)) return nullptr;
  return new (std::nothrow)
      FmCsHttpService(listening, Services().IdleTimeoutFor(listening), code);
}

platform::WorkerThread* MakeFromFactory(unsigned message, platform::Socket listening) {
  auto it = g_factories.find(message);
  if (it == g_factories.end()) return nullptr;
  return it->second(listening, Services().IdleTimeoutFor(listening));
}

void HandleClientClosed(platform::Socket s) {
  std::lock_guard lock(g_watch_lock);
  // Only a socket its session still holds is touched; the session closes it.
  if (g_watched.count(s) != 0) shutdown(s, SHUT_RDWR);
}

}  // namespace

void RegisterSessionFactory(unsigned message, SessionFactory factory) {
  g_factories[message] = std::move(factory);
}

void ClearSessionFactories() { g_factories.clear(); }

platform::TargetId NetMsgTarget() { return g_netmsg.load(); }

int DispatchNetMessage(platform::TargetId window, unsigned message, platform::Wparam wparam,
                       platform::Lparam) {
  auto s = static_cast<platform::Socket>(wparam);
  if ((message == kMsgUdpMappedRead || message == kMsgDnsDatagram) && DropOutsiderDatagram(s)) {
    return 1;
  }
  switch (message) {
    case kMsgWwwAccept: StartSession(MakeRelay(s, kCodeWww), s, true); break;
    case kMsgPop3Accept: StartSession(MakeRelay(s, kCodePop3), s, true); break;
    case kMsgSocksAccept: StartSession(MakeRelay(s, kCodeSocks), s, true); break;
    case kMsgMappedAccept: StartSession(MakeRelay(s, kCodeTcpMappedLink), s, true); break;
    case kMsgFtpAccept:
    case kMsgTelnetAccept:
    case kMsgRealAudioAccept: StartSession(MakeFromFactory(message, s), s, true); break;
    case kMsgUdpMappedRead: {
      // One exchange per mapping at a time: the session hands the socket back when it ends.
      platform::AsyncSelect(s, window, 0, 0);
      platform::WorkerThread* session = MakeFromFactory(message, s);
      if (!session) {
        char drop[1];
        [[maybe_unused]] int n = platform::RecvFrom(s, drop, sizeof drop, nullptr);
        platform::AsyncSelect(s, window, kMsgUdpMappedRead, platform::kFdRead);
      }
      StartSession(session, s, false);
      break;
    }
    case kMsgDnsDatagram: {
      // The DNS factory reads the datagram itself (it may answer it at once); with none, the
      // datagram is dropped here so that the next one is reported.
      if (g_factories.count(message) == 0) {
        char drop[1];
        [[maybe_unused]] int n = platform::RecvFrom(s, drop, sizeof drop, nullptr);
      }
      StartSession(MakeFromFactory(message, s), s, false);
      break;
    }
    case kMsgWwwClientClosed:
    case kMsgPop3ClientClosed: HandleClientClosed(s); break;
    default: break;
  }
  return 1;
}

int WatchClientClose(platform::Socket client, unsigned message) {
  {
    std::lock_guard lock(g_watch_lock);
    g_watched[client] = message;
  }
  return platform::AsyncSelect(client, NetMsgTarget(), message, platform::kFdClose);
}

void UnwatchClientClose(platform::Socket client) {
  std::lock_guard lock(g_watch_lock);
  g_watched.erase(client);
}

bool StartNetMessageQueue() {
  g_thread = new NetMessageQueue;
  g_thread->set_auto_delete(false);
  if (!g_thread->CreateThread(512 * 1024)) {
    delete g_thread;
    g_thread = nullptr;
    return false;
  }
  // Callers select sockets for NetMsg right after this returns: wait until it exists.
  std::unique_lock lock(g_ready_lock);
  return g_ready.wait_for(lock, std::chrono::seconds(10), [] { return g_netmsg.load() != 0; });
}

void StopNetMessageQueue() {
  if (!g_thread) return;
  platform::PostThreadMessage(g_thread->thread_id(), kMsgStopDispatcher, 0, 0);
  g_thread->Join();
  delete g_thread;
  g_thread = nullptr;
}

}  // namespace engine
