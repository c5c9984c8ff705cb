// The console's icon list: 21 icons of 16 x 16 read from "WayfarerIcons.png" beside the
// program, a strip of 21 squares left to right, icon n at x = 16 n, each with its 32 x 32
// picture from "WayfarerIcons32.png" when that strip is there. With the first file missing or
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
  // The folder the strip was read from (the console's other pictures lie beside it).
  [[nodiscard]] const QString& directory() const { return directory_; }

 private:
  std::vector<QIcon> icons_;
  QString directory_;
};

}  // namespace console
