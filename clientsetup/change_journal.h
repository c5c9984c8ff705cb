// What Outfitter replaced on the desktop, kept so that "Restore" can put it back: the first
// content and mode of every file it changed (or that the file did not exist), and the command
// that undoes each setting it changed through a tool. Lives in a directory of its own, one per
// user; only the first original of each file or setting is kept, so repeated runs restore to
// the state before the first. Used only by the GUI thread.
#pragma once

#include <string>
#include <vector>

namespace clientsetup {

class ChangeJournal {
 public:
  // dir holds the journal and the saved copies; it is created when something is saved.
  explicit ChangeJournal(std::string dir) : dir_(std::move(dir)) {}
  // $XDG_STATE_HOME/wayfarer/outfitter-restore (default ~/.local/state/...).
  [[nodiscard]] static std::string DefaultDirectory();

  // Keeps path's current content and mode, or that it does not exist, unless kept already.
  // 0, or -1 when the copy could not be kept (the caller must not change the file then).
  [[nodiscard]] int SaveFile(const std::string& path);
  // Keeps undo, the command that puts back the setting named key, unless one is kept for key.
  [[nodiscard]] int SaveCommand(const std::string& key, const std::vector<std::string>& undo);

  // Puts back every kept file byte for byte with its mode (removing files that did not exist)
  // and runs every kept command, newest first. What was put back goes to restored, what could
  // not to failed; the journal is emptied when nothing failed. 0 when nothing failed, else -1.
  [[nodiscard]] int Restore(std::vector<std::string>* restored, std::vector<std::string>* failed);
  [[nodiscard]] bool Empty() const;

 private:
  struct Entry {
    char kind;  // 'F' kept file, 'A' absent file, 'C' undo command
    std::vector<std::string> fields;
  };
  [[nodiscard]] std::vector<Entry> Load() const;
  [[nodiscard]] bool Has(char kind, const std::string& first_field) const;
  [[nodiscard]] int Append(const Entry& entry);
  [[nodiscard]] std::string JournalPath() const { return dir_ + "/journal"; }

  std::string dir_;
};

}  // namespace clientsetup
