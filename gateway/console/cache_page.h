// The Cache page: the web cache's settings ("Cache Properties", "Expire After"), the per-host
// exceptions ("URL/TTL Exceptions") with New / Modify / Delete, Browse for the directory and
// Purge Now with the activity indicator. Every edit is saved when made (the web cache's save
// step); there is no Apply. Qt thread only; the page lives while its tab is selected.
#pragma once

#include <string>

#include "gateway/console/console_page.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace console {

class NumberEdit;

inline constexpr char kDirectoryDialogTitle[] =
    "Please specify the location of the Cache Directory";

class CachePage : public ConsolePage {
 public:
  explicit CachePage(QWidget* parent);

  void ShowCacheActivity(bool on) override;
  void Leaving() override;

  // The commands, as their buttons run them.
  void Save();
  void NewException();
  void ModifyException();
  void DeleteException();
  void Browse();
  void PurgeNowClicked();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildProperties(QWidget* box);
  void BuildExpiry(QWidget* box);
  void BuildExceptions(QWidget* box);
  void LoadFromSettings();
  void FillExceptions();
  void SetRow(int row, const std::string& host, int count, const std::string& unit);
  [[nodiscard]] int RowOfHost(const std::string& host) const;
  void OnRowChanged();
  // Runs the dialog; true on OK with the values taken.
  bool RunExceptionDialog(std::string* host, int* count, std::string* unit);

  QCheckBox* enable_cache_;
  QCheckBox* enable_lookups_;
  NumberEdit* max_size_;
  QLineEdit* location_;
  NumberEdit* ttl_;
  QRadioButton* units_[3];
  QTreeWidget* list_;
  QPushButton* modify_;
  QPushButton* delete_;
  QProgressBar* activity_;
  QLabel* purge_status_;
  std::string last_unit_;  // the exception dialog's last unit
  bool purging_now_ = false;
};

}  // namespace console
