// The tray icon: tip "Wayfarer", a double click opens the console, the context menu offers
// "Open Wayfarer..." and "Exit" (greyed while the console is open). Qt thread only; the icon
// is shown for the object's life.
#pragma once

#include <QObject>
#include <functional>

class QMenu;
class QSystemTrayIcon;
class QIcon;

namespace console {

class TrayWindow : public QObject {
 public:
  struct Commands {
    std::function<void()> open;          // command 865
    std::function<void()> exit;          // command 866
    std::function<bool()> console_open;  // greys Exit
  };
  TrayWindow(const QIcon& icon, Commands commands);
  ~TrayWindow() override;

  // Removes the icon from the tray (exit).
  void Remove();
  [[nodiscard]] QMenu* menu() const { return menu_; }
  [[nodiscard]] QSystemTrayIcon* icon() const { return tray_; }

 private:
  Commands commands_;
  QSystemTrayIcon* tray_;
  QMenu* menu_;
};

}  // namespace console
