// The "Cache Exception" dialog of the Cache page: URL (host text), count with its up-down
// (0..254) and the unit as radio buttons "Hours", "Days", "Weeks". OK runs the web cache's
// checks and keeps the dialog open after a message. Modal, Qt thread only.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QRadioButton;

namespace console {

class NumberEdit;

class CacheExceptionDialog : public QDialog {
 public:
  // unit_text: "Hours", "Days" or "Weeks"; any other text selects Days.
  CacheExceptionDialog(const std::string& host, int count, const std::string& unit_text,
                       QWidget* parent);

  // The values taken at OK.
  [[nodiscard]] const std::string& host() const { return host_; }
  [[nodiscard]] int count() const { return count_; }
  [[nodiscard]] const std::string& unit_text() const { return unit_text_; }

  [[nodiscard]] QLineEdit* host_edit() const { return host_edit_; }
  [[nodiscard]] NumberEdit* count_edit() const { return count_edit_; }

  void accept() override;

 private:
  QLineEdit* host_edit_;
  NumberEdit* count_edit_;
  QRadioButton* units_[3];
  std::string host_;
  int count_ = 0;
  std::string unit_text_;
};

}  // namespace console
