// The Security page's choice of who may use the gateway at all: the LAN only, anyone, or a
// list of addresses and prefixes. Apply writes the choice through the engine, which applies it
// to the next connection at once. Used only on the console's (Qt) thread.
#pragma once

#include <QGroupBox>

class QLineEdit;
class QRadioButton;

namespace console {

class AllowedClientsBox : public QGroupBox {
 public:
  explicit AllowedClientsBox(QWidget* parent = nullptr);

  // Shows the setting in force.
  void Fill();
  // Writes the choice shown; an address list the engine cannot read is reported and nothing
  // changes. 0, or -1 then.
  int Apply();

 private:
  QRadioButton* lan_;
  QRadioButton* any_;
  QRadioButton* listed_;
  QLineEdit* addresses_;
};

}  // namespace console
