// The report file's line formats: fields, numbers, connection types and registry errors.
// A ReportWriter writes into a file it does not own; used by the thread running the report.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace diagnostics {

// The report line for a failed registry read with the Windows error code `code`.
[[nodiscard]] const char* RegistryErrorMessage(long code);
// The text of a connection type: 0 direct, 1 manual proxy, 2 automatic, else "Unknown".
[[nodiscard]] const char* ConnectionTypeText(int64_t type);

class ReportWriter {
 public:
  // file must stay open for the writer's life.
  explicit ReportWriter(std::FILE* file) : file_(file) {}

  void Write(std::string_view text);
  // "%-20s= %s\n": the label padded to 20 columns, "= ", the value.
  void WriteField(std::string_view label, std::string_view value);
  // The same with an unsigned decimal.
  void WriteNumberField(std::string_view label, uint32_t value);
  void WriteConnectionType(int64_t type);
  // The message of RegistryErrorMessage(code), a line end, "Error Code = <code>", a line end.
  void WriteRegistryError(long code);
  // Flushes what was written so far to the file, so a finished section survives a later end.
  void Flush();

 private:
  std::FILE* file_;
};

}  // namespace diagnostics
