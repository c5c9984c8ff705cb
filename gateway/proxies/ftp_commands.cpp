// Reading the FTP control dialogue: command words, the log-in line, PORT, EPRT, EPSV, the
// passive-mode replies and reply ends.
#include "gateway/proxies/ftp_commands.h"

#include <cctype>
#include <charconv>

namespace proxies {
namespace {

struct CommandWord {
  const char* word;
  FtpCommand command;
};

// Matched in this order; the first match wins.
constexpr CommandWord kCommands[] = {
    {"user", FtpCommand::kUser},     {"port", FtpCommand::kPort},
    {"nlst", FtpCommand::kTransfer}, {"list", FtpCommand::kTransfer},
    {"retr", FtpCommand::kTransfer}, {"stor", FtpCommand::kTransfer},
    {"stou", FtpCommand::kTransfer}, {"appe", FtpCommand::kTransfer},
    {"mlsd", FtpCommand::kTransfer}, {"quit", FtpCommand::kQuit},
    {"pasv", FtpCommand::kPassive},  {"epsv", FtpCommand::kExtPassive},
    {"eprt", FtpCommand::kExtPort},
};

bool StartsWithNoCase(std::string_view line, std::string_view word) {
  if (line.size() < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(line[i])) != word[i]) return false;
  }
  return true;
}

std::string_view WithoutLineEnd(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// A decimal number of the whole text; -1 when it is not one.
int DecimalOf(std::string_view text) {
  int value = -1;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return -1;
  return value;
}

// Four decimal numbers 0..255 joined by dots.
bool IsDotted(const std::string& dotted) {
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    size_t dot = i < 3 ? dotted.find('.', start) : dotted.size();
    if (dot == std::string::npos) return false;
    int part = DecimalOf(std::string_view(dotted).substr(start, dot - start));
    if (part < 0 || part > 255) return false;
    start = dot + 1;
  }
  return true;
}

// The argument after the command word and its blanks, without the line end.
std::string_view ArgumentOf(std::string_view line) {
  line = WithoutLineEnd(line);
  size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return "";
  size_t start = line.find_first_not_of(' ', blank);
  return start == std::string_view::npos ? "" : line.substr(start);
}

// Six numbers 0..255 separated by commas at the start of text; false when there are not.
bool SixNumbers(std::string_view text, int numbers[6]) {
  size_t at = 0;
  for (int i = 0; i < 6; ++i) {
    size_t end = at;
    while (end < text.size() && end - at < 3 &&
           std::isdigit(static_cast<unsigned char>(text[end]))) {
      ++end;
    }
    numbers[i] = DecimalOf(text.substr(at, end - at));
    if (numbers[i] < 0 || numbers[i] > 255) return false;
    if (i < 5 && (end >= text.size() || text[end] != ',')) return false;
    at = end + 1;
  }
  return true;
}

}  // namespace

FtpCommand ClassifyFtpCommand(std::string_view line) {
  for (const CommandWord& c : kCommands) {
    if (StartsWithNoCase(line, c.word)) return c.command;
  }
  return FtpCommand::kOther;
}

int ParseFtpLogin(std::string_view line, std::string* host, int* port) {
  std::string_view argument = WithoutLineEnd(line.size() > 5 ? line.substr(5) : "");
  size_t at = argument.rfind('@');
  if (at == std::string_view::npos) return -1;
  std::string_view rest = argument.substr(at + 1);
  size_t colon = rest.find(':');
  size_t end = std::min(colon, rest.find(' '));
  *host = std::string(rest.substr(0, end));
  *port = 21;
  if (colon == std::string_view::npos) return 0;
  std::string_view digits = rest.substr(colon + 1);
  digits = digits.substr(0, digits.find(' '));
  int value = DecimalOf(digits);
  if (value < 1 || value > 65535) return -2;
  *port = value;
  return 0;
}

std::string FtpServerUserLine(std::string_view line) {
  size_t at = line.rfind('@');
  if (at == std::string_view::npos) return "";
  return std::string(line.substr(0, at)) + "\r\n";
}

int ParseFtpPort(std::string_view line, std::string* address, int* port) {
  line = WithoutLineEnd(line);
  size_t commas[5] = {};
  size_t found = 0;
  for (size_t i = 0; i < line.size() && found < 5; ++i) {
    if (line[i] == ',') commas[found++] = i;
  }
  if (found != 5) return -1;
  int high = DecimalOf(line.substr(commas[3] + 1, commas[4] - commas[3] - 1));
  int low = DecimalOf(line.substr(commas[4] + 1));
  if (high < 0 || high > 255 || low < 0 || low > 255) return -1;
  *port = high * 256 + low;
  address->clear();
  size_t blank = line.find(' ');
  if (blank == std::string_view::npos || blank > commas[0]) return 0;
  std::string dotted(line.substr(blank + 1, commas[3] - blank - 1));
  for (char& c : dotted) {
    if (c == ',') c = '.';
  }
  if (IsDotted(dotted)) *address = dotted;
  return 0;
}

int ParseFtpEprt(std::string_view line, std::string* address, int* port) {
  std::string_view argument = ArgumentOf(line);
  // |af|address|port| with the first character as the delimiter (RFC 2428, 2).
  if (argument.size() < 2) return -1;
  char delimiter = argument[0];
  if (delimiter < 33 || delimiter > 126 || std::isdigit(static_cast<unsigned char>(delimiter))) {
    return -1;
  }
  std::string_view fields[3];
  std::string_view rest = argument.substr(1);
  for (std::string_view& field : fields) {
    size_t end = rest.find(delimiter);
    if (end == std::string_view::npos) return -1;
    field = rest.substr(0, end);
    rest = rest.substr(end + 1);
  }
  if (!rest.empty()) return -1;
  if (fields[0] != "1") return fields[0] == "2" ? -2 : -1;
  int value = DecimalOf(fields[2]);
  std::string dotted(fields[1]);
  if (value < 1 || value > 65535 || !IsDotted(dotted)) return -1;
  *address = dotted;
  *port = value;
  return 0;
}

int ParseFtpEpsv(std::string_view line) {
  std::string_view argument = ArgumentOf(line);
  if (argument.empty() || argument == "1") return 0;
  if (argument.size() == 3 && StartsWithNoCase(argument, "all")) return 1;
  return argument == "2" ? -2 : -1;
}

std::string FtpPortCommand(const std::string& dotted, uint16_t port) {
  std::string commas = dotted;
  for (char& c : commas) {
    if (c == '.') c = ',';
  }
  return "PORT " + commas + "," + std::to_string(port >> 8) + "," + std::to_string(port & 0xFF) +
         "\r\n";
}

int ParseFtpPassiveReply(std::string_view reply, int* port) {
  reply = WithoutLineEnd(reply);
  int numbers[6] = {};
  // RFC 959 leaves the text around the numbers open: the first run of six that parses counts.
  for (size_t i = 3; i < reply.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(reply[i]))) continue;
    if (std::isdigit(static_cast<unsigned char>(reply[i - 1]))) continue;
    if (SixNumbers(reply.substr(i), numbers)) {
      *port = numbers[4] * 256 + numbers[5];
      return *port > 0 ? 0 : -1;
    }
  }
  return -1;
}

std::string FtpPassiveReply(const std::string& dotted, uint16_t port) {
  std::string commas = dotted;
  for (char& c : commas) {
    if (c == '.') c = ',';
  }
  return "227 Entering Passive Mode (" + commas + "," + std::to_string(port >> 8) + "," +
         std::to_string(port & 0xFF) + ").\r\n";
}

std::string FtpExtendedPassiveReply(uint16_t port) {
  return "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|).\r\n";
}

bool FtpReplyTracker::EndsReply(std::string_view line) {
  if (!open_) {
    code_ = std::string(line.substr(0, 3));
    open_ = OpensMultiLineReply(line);
    return !open_;
  }
  if (!EndsMultiLineReply(code_, line)) return false;
  open_ = false;
  return true;
}

bool OpensMultiLineReply(std::string_view first_line) {
  return first_line.size() >= 4 && first_line[3] == '-';
}

bool EndsMultiLineReply(std::string_view first_line, std::string_view line) {
  return line.size() >= 4 && first_line.size() >= 3 &&
         line.substr(0, 3) == first_line.substr(0, 3) && line[3] == ' ';
}

}  // namespace proxies
