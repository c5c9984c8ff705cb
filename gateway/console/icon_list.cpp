// Cuts the icon strip into its 21 squares.
#include "gateway/console/icon_list.h"

#include <QImage>
#include <QPixmap>

#include "platform/os_info.h"

namespace console {

IconList IconList::Load(const QString& path) {
  IconList list;
  QImage strip(path);
  if (strip.isNull() || strip.width() < kIconCount * kIconSize || strip.height() < kIconSize) {
    return list;
  }
  list.icons_.reserve(kIconCount);
  for (int i = 0; i < kIconCount; ++i) {
    list.icons_.emplace_back(
        QPixmap::fromImage(strip.copy(i * kIconSize, 0, kIconSize, kIconSize)));
  }
  return list;
}

IconList IconList::LoadBesideProgram() {
  return Load(QString::fromStdString(platform::ProgramDirectory()) + "/" + kIconFileName);
}

QIcon IconList::At(int index) const {
  if (index < 0 || index >= size()) return QIcon();
  return icons_[static_cast<size_t>(index)];
}

}  // namespace console
