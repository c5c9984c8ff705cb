// Reading the FTP control dialogue: command words, the log-in line, PORT and reply ends.
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
    {"quit", FtpCommand::kQuit},
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

}  // namespace

FtpCommand ClassifyFtpCommand(std::string_view line) {
  for (const CommandWord& c : kCommands) {
    if (StartsWithNoCase(line, c.word)) return c.command;
  }
  return FtpCommand::kOther;
}

int ParseFtpLogin(std::string_view line, std::string* host, int* port) {
  std::string_view argument = WithoutLineEnd(line.size() > 5 ? line.substr(5) : "");
  size_t at = argument.find('@');
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
  size_t at = line.find('@');
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
  int parts[4] = {};
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    size_t dot = i < 3 ? dotted.find('.', start) : dotted.size();
    parts[i] = DecimalOf(std::string_view(dotted).substr(start, dot - start));
    if (parts[i] < 0 || parts[i] > 255) return 0;
    start = dot + 1;
  }
  *address = dotted;
  return 0;
}

std::string FtpPortCommand(const std::string& dotted, uint16_t port) {
  std::string commas = dotted;
  for (char& c : commas) {
    if (c == '.') c = ',';
  }
  return "PORT " + commas + "," + std::to_string(port >> 8) + "," + std::to_string(port & 0xFF) +
         "\r\n";
}

bool OpensMultiLineReply(std::string_view first_line) {
  return first_line.size() >= 4 && first_line[3] == '-';
}

bool EndsMultiLineReply(std::string_view first_line, std::string_view line) {
  return line.size() >= 4 && first_line.size() >= 3 && line.substr(0, 3) == first_line.substr(0, 3) &&
         line[3] == ' ';
}

}  // namespace proxies
