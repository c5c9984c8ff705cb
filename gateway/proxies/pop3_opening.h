// The POP3 steps of the relay session (code 14): the proxy's own greeting, and the opening
// that answers CAPA, AUTH and STLS itself, takes the log-in line account<server>, connects to
// port 110 of that server, checks its greeting and logs in there with the plain account name,
// passing on what the client sent after its log-in line; the relay session then moves the
// bytes. Both run on the session's own thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace engine {
class FmCsHttpService;
}

namespace proxies {

inline constexpr char kPop3Ready[] = "+OK pop3 ready\r\n";
inline constexpr char kPop3NetworkError[] = "-ERR NetWork Error\r\n";
inline constexpr char kPop3FormatViolation[] =
    "-ERR POP3 User Format Violation Give :User<Domain>\r\n";
inline constexpr char kPop3NoDialer[] = "-ERR Dialer could not connect to ISP\r\n";
inline constexpr char kPop3DomainNotFound[] = "-ERR Domain Not Found\r\n";
inline constexpr char kPop3Denied[] = "-ERR  Access Denied Contact Your Administrator\r\n";
inline constexpr char kPop3Busy[] = "-ERR Connection Time Out Try Again Domain Is Busy\r\n";
inline constexpr char kPop3InvalidGreeting[] = "-ERR Invalid Respose From Domain : Try Again\r\n";
// Answers before the log-in line, to what mail clients ask first (RFC 2449, 1734, 2595).
inline constexpr char kPop3Capabilities[] = "+OK\r\nUSER\r\n.\r\n";
inline constexpr char kPop3NotSupported[] = "-ERR not supported\r\n";
// At most this many of them before the log-in line, within this time in all.
inline constexpr int kPop3PreLoginLimit = 16;
inline constexpr int kPop3PreLoginWaitMs = 120 * 1000;
inline constexpr int kPop3Port = 110;
// The client's first line and the server's greeting line fit in this many bytes.
inline constexpr size_t kPop3LineLimit = 512;
// How long the rest of the client's first line, and the server's greeting, are waited for.
inline constexpr int kPop3LineWaitMs = 30 * 1000;

// Splits a first line "COMMAND account<domain>...": 0, or -1 when the command word, the
// account or the domain is missing (the command word itself is not checked).
[[nodiscard]] int SplitPop3User(std::string_view line, std::string* account, std::string* domain);
// The answer to a line that comes before the log-in line (CAPA, AUTH, STLS, in any case), or
// nullptr when the line is to be taken as the log-in line.
[[nodiscard]] const char* Pop3PreLoginAnswer(std::string_view line);
// True when a server greeting's first word (up to a blank or the line end) is "+OK".
[[nodiscard]] bool IsPop3Ready(std::string_view greeting);

// Sends kPop3Ready. 0, or -1 when it could not be sent.
[[nodiscard]] int GreetPop3(engine::FmCsHttpService& session);
// 0 when both sockets were handed to the relay, or when the first line has not begun to
// arrive yet (the opening runs again on the next data); -1 after an -ERR text was sent, and
// the session then ends.
[[nodiscard]] int OpenPop3(engine::FmCsHttpService& session);

}  // namespace proxies
