// Lays the banners and the four 32-pixel icons out in one row.
#include "gateway/console/console_banner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>

namespace console {
namespace {

constexpr int kIconPixels = 32;
constexpr int kIcons = 4;

QLabel* Picture(const QPixmap& pixmap, const QString& name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setPixmap(pixmap);
  return label;
}

}  // namespace

QWidget* MakeConsoleBanner(const QString& directory, QWidget* parent) {
  auto* head = new QWidget(parent);
  head->setObjectName("consoleBanner");
  auto* row = new QHBoxLayout(head);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(4);
  const QString base = directory + "/";
  row->addWidget(Picture(QPixmap(base + kBannerLeftFile), "banner1", head));
  const QPixmap icons(base + kConsoleIconsFile);
  for (int i = 0; i < kIcons; ++i) {
    const QPixmap icon =
        icons.isNull() ? QPixmap() : icons.copy(i * kIconPixels, 0, kIconPixels, kIconPixels);
    row->addWidget(Picture(icon, QString("consoleIcon%1").arg(i + 1), head));
  }
  row->addWidget(Picture(QPixmap(base + kBannerRightFile), "banner2", head), 1);
  return head;
}

}  // namespace console
