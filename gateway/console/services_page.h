// The Services page: every listed service with its name, port, status and icon, and "&New
// Mapping" (also Insert), "&Modify" (also a double click) and "&Delete Mapping" (also Delete)
// through the service dialogs. Each accepted change is applied to the running listeners and
// saved by the engine at once. Qt thread only (the thread that changes the ServiceList).
#pragma once

#include "gateway/console/console_page.h"
#include "gateway/console/icon_list.h"
#include "gateway/engine/service_entry.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace console {

// The icon a service's row shows: by kind, the inactive icon for an inactive service; -1 for a
// kind that has none.
[[nodiscard]] int ServiceIconIndex(const engine::ServiceEntry& entry);

class ServicesPage : public ConsolePage {
 public:
  ServicesPage(QWidget* parent, IconList icons);

  void NewMapping();
  void ModifySelected();
  void DeleteSelected();
  [[nodiscard]] QTreeWidget* list() const { return list_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Fill();
  void ShowRow(QTreeWidgetItem* item, const engine::ServiceEntry& entry);
  void UpdateButtons();
  // The listed service of the selected row; false when none is selected.
  bool Selected(engine::ServiceEntry* entry) const;

  IconList icons_;
  QTreeWidget* list_;
  QPushButton* new_;
  QPushButton* modify_;
  QPushButton* delete_;
};

}  // namespace console
