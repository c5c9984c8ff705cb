// The NetMessageQueue thread: it owns the NetMsg target, to which every listener reports, and
// turns each accept or datagram event into one new session thread. Session kinds of the
// subsystems above the engine are registered here as factories at start-up.
// Thread-safe: registration happens before the thread starts; the NetMsg target id may be
// read from any thread.
#pragma once

#include <functional>

#include "platform/message_queue.h"
#include "platform/socket.h"
#include "platform/worker_thread.h"

namespace engine {

// Makes (not starts) a session for a listener event; nullptr when it cannot.
// listening: the reporting socket; idle_timeout: IdleTimeoutFor(listening), -1 for none.
using SessionFactory =
    std::function<platform::WorkerThread*(platform::Socket listening, int idle_timeout)>;

// Registers the factory for a listener message (kMsgFtpAccept, kMsgTelnetAccept,
// kMsgRealAudioAccept, kMsgUdpMappedRead, kMsgDnsDatagram). Before StartListeners only.
void RegisterSessionFactory(unsigned message, SessionFactory factory);
// Clears every registration (tests).
void ClearSessionFactories();

// The process-wide NetMsg target (0 before the thread runs).
[[nodiscard]] platform::TargetId NetMsgTarget();

// Handles one NetMsg message. Always 1.
int DispatchNetMessage(platform::TargetId window, unsigned message, platform::Wparam wparam,
                       platform::Lparam lparam);

// While a WWW or POP3 session opens, the NetMsg target watches its client for a close
// (kMsgWwwClientClosed / kMsgPop3ClientClosed). The session hands the socket in with
// WatchClientClose and takes it back with UnwatchClientClose before it closes it; a close
// seen meanwhile shuts the socket down without closing it, so its number is closed once, by
// the session.
int WatchClientClose(platform::Socket client, unsigned message);
void UnwatchClientClose(platform::Socket client);

// Called by an ending relay session (WWW, POP3, SOCKS, TCP mapping) on its own thread: when
// its listener has a connection waiting, the session for it runs next on this thread, with
// no hand-over through the dispatcher or a parked thread. Nothing when none waits.
void FollowWithWaitingClient(int service_code, platform::Socket listening);

// Starts the thread; it selects every listener for NetMsg and dispatches until the end.
bool StartNetMessageQueue();
// Ends the thread and waits for it (shut-down).
void StopNetMessageQueue();

}  // namespace engine
