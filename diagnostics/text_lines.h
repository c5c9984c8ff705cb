// Reading the text files of other programs (hosts, Prefs.js, INI) line by line, each line whole
// however long it is, up to a fixed bound. Used by the thread running the report.
#pragma once

#include <cstdio>
#include <string>

namespace diagnostics {

// The longest line kept; the rest of a longer line is read and dropped.
inline constexpr size_t kMaxLineLength = 1 << 20;

// Reads the next line of file into *line, with its "\n" when it has one. Returns false at the
// end of the file (nothing read).
[[nodiscard]] bool ReadLine(std::FILE* file, std::string* line);

}  // namespace diagnostics
