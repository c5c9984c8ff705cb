// The journal is a text file of tab-separated fields, one entry a line; tabs, line ends and
// percent signs inside fields are percent-escaped. Saved copies are numbered files beside it.
#include "clientsetup/change_journal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "clientsetup/scratch_file.h"
#include "platform/os_info.h"
#include "platform/run_command.h"

namespace clientsetup {
namespace {

std::string Escape(const std::string& field) {
  std::string out;
  for (char c : field) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
      const char* hex = "0123456789ABCDEF";
      out += '%';
      out += hex[(static_cast<unsigned char>(c) >> 4) & 0xF];
      out += hex[static_cast<unsigned char>(c) & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '%' && i + 2 < field.size()) {
      out += static_cast<char>(std::strtol(field.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    size_t tab = line.find('\t', start);
    fields.push_back(Unescape(line.substr(start, tab == std::string::npos ? tab : tab - start)));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

bool ReadFile(const std::string& path, std::string* content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Puts content back at path with mode, written beside it and renamed over it.
bool PutBack(const std::string& path, const std::string& content, mode_t mode) {
  if (ReplaceFileContents(path, content) != 0) return false;
  return chmod(path.c_str(), mode) == 0;
}

}  // namespace

std::string ChangeJournal::DefaultDirectory() {
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  std::string base = state != nullptr && *state != '\0'
                         ? std::string(state)
                         : std::string(home != nullptr ? home : "") + "/.local/state";
  return base + "/wayfarer/outfitter-restore";
}

std::vector<ChangeJournal::Entry> ChangeJournal::Load() const {
  std::vector<Entry> entries;
  std::vector<std::string> lines;
  if (!ReadTextLines(JournalPath(), &lines)) return entries;
  for (std::string line : lines) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (line.size() < 2 || line[1] != '\t') continue;
    entries.push_back({line[0], SplitTabs(line.substr(2))});
  }
  return entries;
}

bool ChangeJournal::Has(char kind, const std::string& first_field) const {
  for (const Entry& e : Load()) {
    if ((e.kind == kind || (kind == 'F' && e.kind == 'A')) && !e.fields.empty() &&
        e.fields[0] == first_field) {
      return true;
    }
  }
  return false;
}

bool ChangeJournal::Empty() const { return Load().empty(); }

int ChangeJournal::Append(const Entry& entry) {
  if (!platform::MakeDirectories(dir_)) return -1;
  chmod(dir_.c_str(), 0700);
  std::string line(1, entry.kind);
  for (const std::string& f : entry.fields) line += "\t" + Escape(f);
  std::ofstream out(JournalPath(), std::ios::binary | std::ios::app);
  out << line << "\n";
  out.flush();
  return out ? 0 : -1;
}

int ChangeJournal::SaveFile(const std::string& path) {
  if (Has('F', path)) return 0;
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    return errno == ENOENT ? Append({'A', {path}}) : -1;
  }
  std::string content;
  if (!ReadFile(path, &content)) return -1;
  if (!platform::MakeDirectories(dir_)) return -1;
  const std::string copy = "copy" + std::to_string(Load().size());
  if (ReplaceFileContents(dir_ + "/" + copy, content) != 0) return -1;
  char mode[16];
  std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(st.st_mode & 07777));
  return Append({'F', {path, mode, copy}});
}

int ChangeJournal::SaveCommand(const std::string& key, const std::vector<std::string>& undo) {
  if (Has('C', key)) return 0;
  std::vector<std::string> fields{key};
  fields.insert(fields.end(), undo.begin(), undo.end());
  return Append({'C', fields});
}

int ChangeJournal::Restore(std::vector<std::string>* restored, std::vector<std::string>* failed) {
  const std::vector<Entry> entries = Load();
  size_t failures = failed->size();
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    const Entry& e = *it;
    if (e.fields.empty()) continue;
    const std::string& what = e.fields[0];
    bool ok = false;
    if (e.kind == 'A') {
      ok = unlink(what.c_str()) == 0 || errno == ENOENT;
    } else if (e.kind == 'F' && e.fields.size() == 3) {
      std::string content;
      ok = ReadFile(dir_ + "/" + e.fields[2], &content) &&
           PutBack(what, content,
                   static_cast<mode_t>(std::strtoul(e.fields[1].c_str(), nullptr, 8)));
    } else if (e.kind == 'C' && e.fields.size() > 1) {
      std::vector<std::string> argv(e.fields.begin() + 1, e.fields.end());
      std::string out;
      ok = platform::RunCommand(argv, &out) == 0;
    }
    (ok ? restored : failed)->push_back(what);
  }
  if (failed->size() != failures) return -1;
  for (const Entry& e : entries) {
    if (e.kind == 'F' && e.fields.size() == 3) unlink((dir_ + "/" + e.fields[2]).c_str());
  }
  unlink(JournalPath().c_str());
  return 0;
}

}  // namespace clientsetup
