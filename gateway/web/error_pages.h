// The web proxy's answers to a request it cannot serve: an HTML error page behind a 500
// status line for failures that concern the target, and short bare texts for failures of the
// proxy or of the request. Used by a WWW session's own thread on its own client socket.
#pragma once

#include <string>

#include "platform/socket.h"

namespace web {

// Messages that complete the error page's heading and close the document.
inline constexpr char kAccessDeniedMessage[] =
    "Access Denied</H1><P> The Rule Set Does Not Permit This Action<P><P>Contact Your "
    "Administrator<P></BODY></HTML>";
inline constexpr char kCouldNotConnectMessage[] =
    "Could Not Connect </H1><P> Dialer could not connect to ISP <P></BODY></HTML>";
inline constexpr char kHostNotFoundMessage[] =
    "Host Not Found </H1><P> Host Name Look Up Failure In DNS <P></BODY></HTML>";
inline constexpr char kHostMayBeBusyMessage[] =
    "Host May Be Busy</H1><P> Connection Timed Out Try Again <P></BODY></HTML>";

// How a session answered with a message or bare text ended, for its access-log line: the
// page's heading without its mark-up and blanks ("denied" for the rules' refusal).
[[nodiscard]] std::string AnswerEnding(const char* message);

// Bare texts, sent exactly as written (the blanks belong to them).
inline constexpr char kMemoryFailure[] = "Memory Failure ";
inline constexpr char kDataRetriveFailure[] = " Data Retrive Failure ";
inline constexpr char kProtocolViolation[] = "PROTOCOL Violation";
inline constexpr char kErrorInHostConnect[] = "Error In Host Connect";
inline constexpr char kErrorInSendingData[] = "Error In Sending Data To Host ";

// Sends the status line and the page head in two sends; results are not examined.
void SendErrorPageHead(platform::Socket client);
// The whole page: SendErrorPageHead, then message as a third send.
void SendErrorPage(platform::Socket client, const char* message);
// One bare text in one send.
void SendBareText(platform::Socket client, const char* text);

// Ends the client's side after an error answer so the answer is not lost to a reset: stops
// sending, then reads and drops what the client still sends until it closes, for at most
// about a second and a bounded number of bytes. The caller closes the socket afterwards.
void FinishAnswer(platform::Socket client);

}  // namespace web
