// The console's icon list: 21 icons of 16 x 16 read from "WayfarerIcons.png" beside the
// program, a strip of 21 squares left to right, icon n at x = 16 n. With the file missing or
// too small the list stays empty and everything that shows an icon does without.
// Built once on the Qt thread at start-up; read-only afterwards.
#pragma once

#include <QIcon>
#include <QString>
#include <vector>

namespace console {

inline constexpr int kIconCount = 21;
inline constexpr int kIconSize = 16;
inline constexpr char kIconFileName[] = "WayfarerIcons.png";
// Our choice for the indexes the service list does not fix: the program's own icon.
inline constexpr int kProgramIcon = 1;

class IconList {
 public:
  // Loads the strip at path; empty on any failure.
  [[nodiscard]] static IconList Load(const QString& path);
  // The strip beside the running program.
  [[nodiscard]] static IconList LoadBesideProgram();

  [[nodiscard]] bool empty() const { return icons_.empty(); }
  [[nodiscard]] int size() const { return static_cast<int>(icons_.size()); }
  // Icon index, or a null icon when the list is empty or index is out of range.
  [[nodiscard]] QIcon At(int index) const;

 private:
  std::vector<QIcon> icons_;
};

}  // namespace console
