// Rewriting other programs' text files: the scratch copy "TempFile" in the current directory,
// reading a file as whole lines of any length, and replacing a file only once its new content
// is completely written. Used only by the GUI thread.
#pragma once

#include <string>
#include <vector>

namespace clientsetup {

inline constexpr char kTempFileName[] = "TempFile";

// Copies the file at path to "TempFile" in the current directory. Returns 1 when the whole
// file was copied, 0 when either file cannot be opened or the copy could not be completed
// (a short copy must never be taken for the original).
[[nodiscard]] int CopyToTempFile(const std::string& path);
void RemoveTempFile();

// Reads path as lines, each with its '\n' when it had one (the last line may lack it); lines
// are never split, whatever their length. false when the file cannot be read.
[[nodiscard]] bool ReadTextLines(const std::string& path, std::vector<std::string>* lines);

// Makes content the file at path: written to a file beside it (keeping the old file's
// permission bits) and renamed over it, so a failed write leaves the old file untouched. A
// path that cannot be renamed over (a mount point such as a container's /etc/hosts) is
// overwritten in place after the new content is complete in memory. 0, or -1 with errno
// telling why.
[[nodiscard]] int ReplaceFileContents(const std::string& path, const std::string& content);

}  // namespace clientsetup
