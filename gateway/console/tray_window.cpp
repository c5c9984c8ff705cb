// The tray icon and its menu.
#include "gateway/console/tray_window.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

#include "gateway/engine/gateway_app.h"

namespace console {

TrayWindow::TrayWindow(const QIcon& icon, Commands commands)
    : commands_(std::move(commands)),
      tray_(new QSystemTrayIcon(icon, this)),
      menu_(new QMenu()) {
  tray_->setToolTip(engine::kAppCaption);
  QAction* open = menu_->addAction("Open Wayfarer...");
  menu_->addSeparator();
  QAction* exit = menu_->addAction("Exit");
  connect(open, &QAction::triggered, this, [this] { commands_.open(); });
  connect(exit, &QAction::triggered, this, [this] { commands_.exit(); });
  connect(menu_, &QMenu::aboutToShow, this,
          [this, exit] { exit->setEnabled(!commands_.console_open()); });
  tray_->setContextMenu(menu_);
  connect(tray_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick) commands_.open();
          });
  tray_->show();
}

TrayWindow::~TrayWindow() {
  tray_->hide();
  delete menu_;
}

void TrayWindow::Remove() { tray_->hide(); }

}  // namespace console
