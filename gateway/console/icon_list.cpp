// Cuts the icon strip into its 21 squares.
#include "gateway/console/icon_list.h"

#include <QFileInfo>
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
  list.directory_ = QFileInfo(path).absolutePath();
  QString big_path = path;
  big_path.replace(".png", "32.png");
  const QImage big(big_path);
  const int big_size = 2 * kIconSize;
  const bool with_big =
      !big.isNull() && big.width() >= kIconCount * big_size && big.height() >= big_size;
  list.icons_.reserve(kIconCount);
  for (int i = 0; i < kIconCount; ++i) {
    QIcon icon(QPixmap::fromImage(strip.copy(i * kIconSize, 0, kIconSize, kIconSize)));
    if (with_big) icon.addPixmap(QPixmap::fromImage(big.copy(i * big_size, 0, big_size, big_size)));
    list.icons_.push_back(icon);
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
