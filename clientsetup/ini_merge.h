// The INI section merge that points Mosaic's and PointCast's INI files at the gateway: tracked
// sections whose keys replace matching lines, or are inserted before the section's end, up to
// a bound of changes per section. Pure text functions; any thread.
#pragma once

#include <string>
#include <vector>

#include "clientsetup/setup_settings.h"

namespace clientsetup {

struct IniKey {
  std::string prefix;    // a line beginning with this (case-sensitive) is the key's line
  std::string new_line;  // the replacement, with its '\n'; "" removes the line
  bool replace_every = false;  // replace every matching line, not only while pending
  int insert_order = 0;        // 1.. : inserted before the section's end when pending; 0: never
};

enum class SectionEnd { kLineContainsBracket, kLineBeginsWithBracket };

struct IniSection {
  std::string header;  // a line beginning with this activates the section
  int bound = 0;       // the section stays active while fewer changes than this were made
  SectionEnd end = SectionEnd::kLineContainsBracket;
  std::vector<IniKey> keys;  // tested on each line in this order
};

// Feeds lines through the merge one at a time. Sections are handled in their listed order;
// header_test_order gives the order in which the headers are tested (indexes).
class IniSectionMerge {
 public:
  IniSectionMerge(std::vector<IniSection> sections, std::vector<size_t> header_test_order);
  // Appends to *out what line (with its '\n') becomes: pending lines inserted before it, then
  // the line itself unless it was replaced by "".
  void ProcessLine(std::string line, std::string* out);

 private:
  struct State {
    bool seen = false;
    int count = 0;
    std::vector<bool> pending;
  };
  [[nodiscard]] bool Active(size_t section) const;
  void InsertPending(size_t section, std::string* out);

  std::vector<IniSection> sections_;
  std::vector<size_t> header_test_order_;
  std::vector<State> states_;
};

// The whole new text of Mosaic.ini for the given old lines.
[[nodiscard]] std::string MergeMosaicIni(const std::vector<std::string>& lines,
                                         const SetupSettings& settings);
// The whole new text of pcn.ini for the given old lines, including the SMTP Server rule.
[[nodiscard]] std::string MergePointCastIni(const std::vector<std::string>& lines,
                                            const SetupSettings& settings);

}  // namespace clientsetup
