// What the pppd facility understands of pppd: the lines of its log output that mark the
// progress of a dial, the meaning of its exit codes, the private options file that carries
// the credentials, and the check that the ppp interface is up. Pure functions; any thread.
#pragma once

#include <string>

#include "platform/dialup_facility.h"

namespace platform {

// What the lines seen so far told about the dial.
struct PppdProgress {
  std::string interface_name;  // from "Using interface X" or "Connect: X <--> ..."
  LinkAddresses addresses;     // from "local  IP address A" and "remote IP address B"
  bool authentication_failed = false;
};

enum class PppdEvent {
  kNone,
  kLinkUp,          // the serial link is up; LCP and authentication begin
  kAuthenticated,   // PAP, CHAP or EAP succeeded
  kAddressesKnown,  // both IP addresses negotiated: the link carries IP
};

// Reads one line of pppd's output (without its newline) into *progress.
[[nodiscard]] PppdEvent ParsePppdLine(const std::string& line, PppdProgress* progress);

// The facility's error code for a pppd that ended with exit_code (-1: killed by a signal).
[[nodiscard]] long PppdExitError(int exit_code, bool was_connected, bool authentication_failed);

// The options-file text that names user and password (the domain, when given, goes in front
// of the user as DOMAIN\user). False when a credential holds a control character, which pppd's
// option syntax could not carry safely.
[[nodiscard]] bool PppdCredentialOptions(const DialParams& params, std::string* text);

// Writes text to a fresh 0600 file "options" inside a new private (0700) directory below
// base_dir. 0 with *dir set, or -1.
[[nodiscard]] int WritePrivateOptionsFile(const std::string& base_dir, const std::string& text,
                                          std::string* dir);
// Removes what WritePrivateOptionsFile made.
void RemovePrivateOptionsFile(const std::string& dir);

// True when the interface exists and is up; *address gets its IPv4 address when it has one.
[[nodiscard]] bool InterfaceIsUp(const std::string& name, std::string* address);

}  // namespace platform
