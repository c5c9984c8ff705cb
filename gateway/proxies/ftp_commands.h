// The FTP proxy's reading of its control dialogue: which client commands it acts on, the
// account@server[:port] log-in, PORT and EPRT and their rewrite, the passive-mode replies, and
// where a server reply ends. Pure functions on texts (any thread) and one small per-session
// reply follower.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace proxies {

inline constexpr char kFtpGreeting[] =
    "220 Wayfarer v2.0 FTP proxy server ready. User : user@FTPserver.\r\n";
inline constexpr char kFtpUserRequired[] = "500 Error: user@FTPserver is required.\r\n";
inline constexpr char kFtpNoDialer[] = "500 Dialer could not connect to ISP.\r\n";
inline constexpr char kFtpNoHost[] = "500 Error: No host in that name.\r\n";
inline constexpr char kFtpDenied[] = "500 Access Denied. Contact Your Administrator.\r\n";
inline constexpr char kFtpConnectFailed[] = "500 Connection failed over this port.\r\n";
inline constexpr char kFtpNotConnected[] = "500 Not connected to destination.\r\n";
inline constexpr char kFtpLineTooLong[] = "500 Command line too long.\r\n";
inline constexpr char kFtpIllegalPort[] = "500 Illegal PORT command.\r\n";
inline constexpr char kFtpNoDataConnection[] = "425 Can't open data connection.\r\n";
inline constexpr char kFtpOnlyIpv4[] = "522 Network protocol not supported, use (1)\r\n";
inline constexpr char kFtpEpsvAll[] = "200 EPSV ALL command successful.\r\n";

enum class FtpCommand {
  kOther = 0,
  kUser = 1,
  kPort = 2,
  kTransfer = 3,
  kQuit = 4,
  kPassive = 5,     // PASV
  kExtPassive = 6,  // EPSV
  kExtPort = 7,     // EPRT
};

// Classifies a client line by its first characters, ignoring case (a line that merely begins
// with a known word is that command).
[[nodiscard]] FtpCommand ClassifyFtpCommand(std::string_view line);

// The destination of a log-in line "user account@host[:port]" (an account that holds '@'
// itself ends at the last one). 0 with *host and *port
// (21 when none is given); -1 when the line has no '@'; -2 when the port is not 1..65535.
[[nodiscard]] int ParseFtpLogin(std::string_view line, std::string* host, int* port);

// The log-in line as the server must see it: the command word as the client spelled it, the
// account name (up to the last '@'), CR LF. "" when the line has no '@'.
[[nodiscard]] std::string FtpServerUserLine(std::string_view line);

// A client "PORT h1,h2,h3,h4,p1,p2" line. 0 with the data port and the address text (empty
// when the line carries no dotted address, then the client's own address is meant); -1 when
// the line is malformed (fewer than four commas, or a port number outside 0..255).
[[nodiscard]] int ParseFtpPort(std::string_view line, std::string* address, int* port);

// A client "EPRT |1|a.b.c.d|port|" line (RFC 2428, any delimiter). 0 with the dotted address
// and port; -1 when malformed; -2 when the network protocol is not 1 (IPv4).
[[nodiscard]] int ParseFtpEprt(std::string_view line, std::string* address, int* port);
// The argument of "EPSV [1|2|ALL]": 0 none or 1; 1 for ALL; -2 another protocol; -1 otherwise.
[[nodiscard]] int ParseFtpEpsv(std::string_view line);

// "PORT a,b,c,d,hi,lo\r\n" for a dotted address and a port.
[[nodiscard]] std::string FtpPortCommand(const std::string& dotted, uint16_t port);

// The data port of a server's "227 ... (h1,h2,h3,h4,p1,p2)" reply; the address in it is not
// returned (the data connection goes to the control connection's server). 0, or -1 when the
// reply holds no six numbers 0..255.
[[nodiscard]] int ParseFtpPassiveReply(std::string_view reply, int* port);
// The gateway's own answers to PASV and EPSV.
[[nodiscard]] std::string FtpPassiveReply(const std::string& dotted, uint16_t port);
[[nodiscard]] std::string FtpExtendedPassiveReply(uint16_t port);

// True when a reply's first line opens a multi-line reply ("220-...").
[[nodiscard]] bool OpensMultiLineReply(std::string_view first_line);
// True when line, read after first_line, ends a multi-line reply: it starts with the same
// code and a blank (RFC 959, 4.2).
[[nodiscard]] bool EndsMultiLineReply(std::string_view first_line, std::string_view line);

// Follows a server's replies line by line. Used by one session thread.
class FtpReplyTracker {
 public:
  // True when line is the last line of the reply it belongs to (a single-line reply, or the
  // closing line of a multi-line one).
  [[nodiscard]] bool EndsReply(std::string_view line);
  // Code of the reply in progress or just ended ("227"), from its first line.
  [[nodiscard]] const std::string& code() const { return code_; }

 private:
  std::string code_;
  bool open_ = false;  // inside a multi-line reply
};

}  // namespace proxies
