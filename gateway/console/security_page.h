// The Security page: the deny rules in store order under "Deny Service", "To Client", "To
// Host" and "Data", with "&Secure", "&Modify" (also a double click), "&Delete" and "Change
// &Password". Rules are added, changed and deleted through the engine, which puts them in force
// at once and saves them. Qt thread only.
#pragma once

#include "gateway/console/console_page.h"

class QPushButton;
class QTreeWidget;
class QVBoxLayout;

namespace console {

class SecurityPage : public ConsolePage {
 public:
  explicit SecurityPage(QWidget* parent);

  void SecureNew();
  void ModifySelected();
  void DeleteSelected();
  void ChangePassword();
  [[nodiscard]] QTreeWidget* list() const { return list_; }
  // Where the control for which clients may use the gateway goes, below the rules.
  [[nodiscard]] QVBoxLayout* allowed_clients_area() const { return allowed_clients_area_; }

 private:
  void Fill();
  void ShowLine(int row);
  void Select(int row);
  [[nodiscard]] int SelectedRow() const;

  QTreeWidget* list_;
  QPushButton* modify_;
  QPushButton* delete_;
  QVBoxLayout* allowed_clients_area_;
};

}  // namespace console
