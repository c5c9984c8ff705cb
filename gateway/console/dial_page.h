// The Dial page (shown only when a dial-up facility is bound): the phone-book entries, the
// selected entry's credentials, dial-on-demand with its redials, disconnecting after idle
// minutes, Dial and Stop by hand, and the connection's status refreshed every 500 ms. Every
// change is saved at once by the dialler's save step. Qt thread only; the page lives while its
// tab is selected, and its timer with it; the connection belongs to the dialler.
#pragma once

#include <string>

#include "gateway/console/console_page.h"
#include "gateway/dialer/dial_page_rules.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTimer;

namespace console {

inline constexpr int kDialStatusPeriodMs = 500;

class DialPage : public ConsolePage {
 public:
  explicit DialPage(QWidget* parent);

  void Leaving() override;

  // The commands, as their controls run them.
  void Save();
  void RefreshProfiles();
  void ShowProfile();
  void Dial();
  void Stop();
  void ShowStatus();

 private:
  QWidget* BuildSettings();
  QWidget* BuildAuthentication();
  QWidget* BuildProfiles();
  void ShowForm(const dialer::DialForm& form);
  [[nodiscard]] std::string SelectedEntry() const;

  QCheckBox* dial_on_demand_;
  QLineEdit* retries_;
  QCheckBox* disconnect_;
  QLineEdit* minutes_;
  QGroupBox* authentication_;
  QLineEdit* name_;
  QLineEdit* password_;
  QLineEdit* domain_;
  QListWidget* profiles_;
  QLabel* status_;
  QTimer* timer_;
  bool refreshing_ = false;  // the list is being refilled: its selection signals are ours
};

}  // namespace console
