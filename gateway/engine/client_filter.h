// Who may use the gateway: the AllowedClients setting ("lan", "any" or a list of addresses and
// prefixes), parsed into a ClientSet, and the process-wide filter every listener consults
// before it serves a client. Thread-safe: the current set, the refusal count and the set of
// addresses already logged are guarded by one lock inside client_filter.cpp.
#pragma once

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/socket.h"

namespace engine {

inline constexpr char kAllowedClientsValue[] = "AllowedClients";
inline constexpr char kAllowedClientsDefault[] = "lan";

// An address as 16 bytes; IPv4 is held in its mapped form (::ffff:a.b.c.d), so a mapped IPv6
// address and the IPv4 address are one and the same.
using ClientAddress = std::array<uint8_t, 16>;

// Parses dotted IPv4 or IPv6 text. false for anything else.
[[nodiscard]] bool ParseClientAddress(const std::string& text, ClientAddress* out);
[[nodiscard]] ClientAddress ClientAddressOf(const in_addr& v4);
// A socket address of either family (all zero, the unspecified address, for others).
[[nodiscard]] ClientAddress ClientAddressOf(const sockaddr* address);
// IPv4 (and mapped IPv6) as dotted text, other IPv6 in its usual text.
[[nodiscard]] std::string ClientAddressText(const ClientAddress& address);

class ClientSet {
 public:
  // "lan": loopback, 10/8, 172.16/12, 192.168/16, 169.254/16, ::1, fc00::/7, fe80::/10.
  [[nodiscard]] static ClientSet Lan();
  [[nodiscard]] static ClientSet Any();
  // "lan", "any" (either case) or entries separated by ';', ',' or blanks, each an address or
  // address/prefix-length ("lan" may be one of them). An empty text is "lan". false when any
  // entry cannot be read (*out untouched).
  [[nodiscard]] static bool Parse(const std::string& text, ClientSet* out);

  [[nodiscard]] bool Contains(const ClientAddress& address) const;

 private:
  struct Prefix {
    ClientAddress base{};
    int bits = 0;  // of the 128
  };
  void AddLan();

  bool any_ = false;
  std::vector<Prefix> prefixes_;
};

// Reads AllowedClients from the Configuration key and applies it; a missing value is "lan",
// an unreadable one is "lan" and reported once on stderr. Called at start-up.
void LoadAllowedClients();
// Writes text as the new AllowedClients and applies it (the console's change). 0, or -1 when
// the text cannot be read (nothing is written or changed then) or the store refuses it.
[[nodiscard]] int SetAllowedClients(const std::string& text);
// The AllowedClients text in force ("lan" when none was ever read).
[[nodiscard]] std::string AllowedClientsText();

// The accept check: true when address may be served. A refusal is counted and, the first
// time for each address (up to a bounded number of addresses), logged.
[[nodiscard]] bool AdmitClient(const ClientAddress& address);
// The same for an accepted stream socket, by its peer address; a socket without a peer is
// refused. peer_text, when given, gets the peer's address as text ("" without a peer).
[[nodiscard]] bool AdmitClientSocket(platform::Socket s, std::string* peer_text = nullptr);
// For a datagram listener with a datagram waiting: when its sender may not be served, reads
// and drops that datagram and returns true; false leaves it for the session.
[[nodiscard]] bool DropOutsiderDatagram(platform::Socket s);
// Clients refused since start.
[[nodiscard]] uint64_t RefusedClients();

}  // namespace engine
