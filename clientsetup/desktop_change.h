// One change to a desktop file as every desktop configurator makes it: nothing when the
// content is already right, else the original kept for Restore, the new content written beside
// the file and renamed over it with the file's mode; and the run's list of what was changed,
// what was already right or left alone, and what failed. Used only by the GUI thread.
#pragma once

#include <string>
#include <vector>

#include "clientsetup/change_journal.h"

namespace clientsetup {

// What a configuration run did on the desktop, one line per file, setting or client.
struct RunReport {
  std::vector<std::string> changed;
  std::vector<std::string> unchanged;
  std::vector<std::string> failed;
};

enum class FileWrite { kUnchanged, kChanged, kFailed };

// Makes content the file at path (a link is followed, so it stays a link). journal may be null
// (no Restore then). On kFailed, *why says why: "needs root" when permission was refused to a
// user other than root, else the system's reason.
[[nodiscard]] FileWrite WriteUndoably(ChangeJournal* journal, const std::string& path,
                                      const std::string& content, std::string* why);

// Adds "<what>: <done>" to changed, "<what>: already set" to unchanged, or
// "<what>: not changed (<why>)" to failed.
void Note(RunReport* report, FileWrite result, const std::string& what, const std::string& done,
          const std::string& why);

// The whole file at path; false when it cannot be read.
[[nodiscard]] bool ReadWholeText(const std::string& path, std::string* content);

}  // namespace clientsetup
