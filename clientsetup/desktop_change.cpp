// Undoable whole-file writes and the run report's lines.
#include "clientsetup/desktop_change.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "clientsetup/scratch_file.h"

namespace clientsetup {

bool ReadWholeText(const std::string& path, std::string* content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

FileWrite WriteUndoably(ChangeJournal* journal, const std::string& path, const std::string& content,
                        std::string* why) {
  std::string target = path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr) target = resolved;
  std::string old;
  if (ReadWholeText(target, &old) && old == content) return FileWrite::kUnchanged;
  if (journal != nullptr && journal->SaveFile(target) != 0) {
    *why = "its original could not be kept for Restore";
    return FileWrite::kFailed;
  }
  if (ReplaceFileContents(target, content) == 0) return FileWrite::kChanged;
  const int error = errno;
  *why =
      (error == EACCES || error == EPERM) && geteuid() != 0 ? "needs root" : std::strerror(error);
  return FileWrite::kFailed;
}

void Note(RunReport* report, FileWrite result, const std::string& what, const std::string& done,
          const std::string& why) {
  switch (result) {
    case FileWrite::kChanged:
      report->changed.push_back(what + ": " + done);
      break;
    case FileWrite::kUnchanged:
      report->unchanged.push_back(what + ": already set");
      break;
    case FileWrite::kFailed:
      report->failed.push_back(what + ": not changed (" + why + ")");
      break;
  }
}

}  // namespace clientsetup
