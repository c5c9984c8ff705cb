// The FTP proxy's reading of its control dialogue: which client commands it acts on, the
// account@server[:port] log-in, the PORT command and its rewrite, and the end of a multi-line
// reply. Pure functions on texts; any thread.
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

enum class FtpCommand { kOther = 0, kUser = 1, kPort = 2, kTransfer = 3, kQuit = 4 };

// Classifies a client line by its first characters, ignoring case (a line that merely begins
// with a known word is that command).
[[nodiscard]] FtpCommand ClassifyFtpCommand(std::string_view line);

// The destination of a log-in line "user account@host[:port]". 0 with *host and *port
// (21 when none is given); -1 when the line has no '@'; -2 when the port is not 1..65535.
[[nodiscard]] int ParseFtpLogin(std::string_view line, std::string* host, int* port);

// The log-in line as the server must see it: the command word as the client spelled it, the
// account name, CR LF. "" when the line has no '@'.
[[nodiscard]] std::string FtpServerUserLine(std::string_view line);

// A client "PORT h1,h2,h3,h4,p1,p2" line. 0 with the data port and the address text (empty
// when the line carries no dotted address, then the client's own address is meant); -1 when
// the line is malformed (fewer than four commas, or a port number outside 0..255).
[[nodiscard]] int ParseFtpPort(std::string_view line, std::string* address, int* port);

// "PORT a,b,c,d,hi,lo\r\n" for a dotted address and a port.
[[nodiscard]] std::string FtpPortCommand(const std::string& dotted, uint16_t port);

// True when a reply's first line opens a multi-line reply ("220-...").
[[nodiscard]] bool OpensMultiLineReply(std::string_view first_line);
// True when line, read after first_line, ends a multi-line reply: it starts with the same
// code and a blank (RFC 959, 4.2).
[[nodiscard]] bool EndsMultiLineReply(std::string_view first_line, std::string_view line);

}  // namespace proxies
