// An edit with an up-down control: the arrows step within the up-down's range, while the text
// may hold any whole number, so a typed value out of range reaches the page's checks and gets
// their message instead of being clipped silently. Qt thread only.
#pragma once

#include <QSpinBox>

namespace console {

class NumberEdit : public QSpinBox {
 public:
  NumberEdit(int low, int high, QWidget* parent);
  void stepBy(int steps) override;
  // The typed text (what the page's checks read).
  [[nodiscard]] std::string Text() const { return cleanText().toStdString(); }

 private:
  int low_;
  int high_;
};

}  // namespace console
