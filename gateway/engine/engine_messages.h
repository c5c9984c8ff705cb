// The engine's message numbers, shared by the dispatcher, the sessions, the dialler and the
// console. Constants only.
#pragma once

#include "platform/message_queue.h"

namespace engine {

using platform::kWmUser;

// Listener events on the NetMsg target, one per kind of listener.
inline constexpr unsigned kMsgWwwAccept = kWmUser + 1;
inline constexpr unsigned kMsgFtpAccept = kWmUser + 2;
inline constexpr unsigned kMsgTelnetAccept = kWmUser + 3;
inline constexpr unsigned kMsgPop3Accept = kWmUser + 4;
inline constexpr unsigned kMsgSocksAccept = kWmUser + 5;
inline constexpr unsigned kMsgMappedAccept = kWmUser + 6;
inline constexpr unsigned kMsgRealAudioAccept = kWmUser + 7;
inline constexpr unsigned kMsgUdpMappedRead = kWmUser + 8;
// Session targets.
inline constexpr unsigned kMsgRelayEvent = kWmUser + 9;
inline constexpr unsigned kMsgClientEvent = kWmUser + 10;
// NetMsg target: port-53 datagram, and clients that left while their session was opening.
inline constexpr unsigned kMsgDnsDatagram = kWmUser + 11;
inline constexpr unsigned kMsgWwwClientClosed = kWmUser + 12;
inline constexpr unsigned kMsgPop3ClientClosed = kWmUser + 15;
// Console target: a session registered / unregistered (lParam: SessionNotice*, receiver frees).
inline constexpr unsigned kMsgSessionAdded = kWmUser + 18;
inline constexpr unsigned kMsgSessionRemoved = kWmUser + 19;
// UDP mapping session target: datagram on the listening socket / on the outbound socket.
inline constexpr unsigned kMsgUdpListenerDatagram = kWmUser + 18;
inline constexpr unsigned kMsgUdpServerDatagram = kWmUser + 19;
inline constexpr unsigned kMsgRealAudioDatagram = kWmUser + 20;
inline constexpr unsigned kMsgProxyClientEvent = kWmUser + 21;
inline constexpr unsigned kMsgProxyServerEvent = kWmUser + 22;
inline constexpr unsigned kMsgFtpDataEvent = kWmUser + 23;
// Dialler target.
inline constexpr unsigned kMsgWaitForDial = kWmUser + 30;
inline constexpr unsigned kMsgRedial = kWmUser + 31;
inline constexpr unsigned kMsgGiveUpDial = kWmUser + 32;
// Thread message to a session: end now.
inline constexpr unsigned kMsgKillSession = kWmUser + 99;
// Console target: a cache purge pass started (lParam 1) or ended (lParam 0).
inline constexpr unsigned kMsgPurgeNotice = kWmUser + 101;
// To the console: settings were reloaded from the store; pages that show them are built anew.
inline constexpr unsigned kMsgSettingsReloaded = kWmUser + 102;

}  // namespace engine
