// Line formats of the report and the registry error table.
#include "diagnostics/report_writer.h"

#include "diagnostics/report_texts.h"
#include "platform/registry.h"

namespace diagnostics {
namespace {

constexpr size_t kLabelWidth = 20;
// Windows error codes the report names beside those the settings store returns.
constexpr long kErrorBadDatabase = 1009;
constexpr long kErrorCantOpenKey = 1011;
constexpr long kErrorCantRead = 1012;
constexpr long kErrorRegistryCorrupt = 1015;
constexpr long kErrorRegistryIoFailed = 1016;

}  // namespace

const char* RegistryErrorMessage(long code) {
  switch (code) {
    case platform::kErrorFileNotFound:
    case kErrorBadDatabase:
      return kE109;
    case platform::kErrorAccessDenied:
      return kE114;
    case platform::kErrorMoreData:
      return kE115;
    case platform::kErrorBadKey:
    case kErrorCantOpenKey:
      return kE106;
    case kErrorCantRead:
      return kE105;
    case kErrorRegistryCorrupt:
      return kE110;
    case kErrorRegistryIoFailed:
      return kE111;
    default:
      return kE112;
  }
}

const char* ConnectionTypeText(int64_t type) {
  switch (type) {
    case 0:
      return "Direct Connection to the Internet";
    case 1:
      return "Manual Proxy Configuration";
    case 2:
      return "Automatic Configuration";
    default:
      return "Unknown";
  }
}

void ReportWriter::Write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), file_); }

void ReportWriter::WriteField(std::string_view label, std::string_view value) {
  std::string line(label);
  if (line.size() < kLabelWidth) line.resize(kLabelWidth, ' ');
  line.append("= ").append(value).append("\n");
  Write(line);
}

void ReportWriter::WriteNumberField(std::string_view label, uint32_t value) {
  WriteField(label, std::to_string(value));
}

void ReportWriter::WriteConnectionType(int64_t type) {
  WriteField("Connection Type", ConnectionTypeText(type));
}

void ReportWriter::WriteRegistryError(long code) {
  Write(RegistryErrorMessage(code));
  Write("\nError Code = " + std::to_string(code) + "\n");
}

void ReportWriter::Flush() { std::fflush(file_); }

}  // namespace diagnostics
