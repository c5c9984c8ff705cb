// Rows follow the ServiceList's order, so row n is the listed entry at position n (its index).
#include "gateway/console/services_page.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gateway/console/service_dialog.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/service_page.h"

namespace console {
namespace {

constexpr int kInactiveIcon = 16;

struct KindIcon {
  const char* name;
  int icon;
};
constexpr KindIcon kKindIcons[] = {
    {"WWW", 0},
    {"IRC", 17},
    {"DNS", 3},
    {"Telnet", 5},
    {"FTP", 15},
    {"Socks", 19},
    {"POP3", 10},
    {"SMTP", 11},
    {"News", 8},
    {"RealAudio", 9},
    {engine::kTcpMappedLinkType, 18},
    {engine::kUdpMappedLinkType, 18},
};

}  // namespace

int ServiceIconIndex(const engine::ServiceEntry& e) {
  if (!e.IsActive) return kInactiveIcon;
  for (const KindIcon& k : kKindIcons) {
    if (e.ServiceType == k.name) return k.icon;
  }
  return -1;
}

ServicesPage::ServicesPage(QWidget* parent, IconList icons)
    : ConsolePage(parent), icons_(std::move(icons)) {
  auto* layout = new QVBoxLayout(this);
  list_ = new QTreeWidget(this);
  list_->setObjectName("ctl1086");
  list_->setColumnCount(3);
  list_->setHeaderLabels({"Service", "Port", "Status"});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setIconSize(QSize(kIconSize, kIconSize));
  list_->header()->setSectionResizeMode(QHeaderView::Stretch);
  list_->header()->setSectionsMovable(false);
  list_->installEventFilter(this);
  layout->addWidget(list_);
  auto* buttons = new QHBoxLayout();
  new_ = new QPushButton("&New Mapping", this);
  new_->setObjectName("ctl1003");
  modify_ = new QPushButton("&Modify", this);
  modify_->setObjectName("ctl1004");
  delete_ = new QPushButton("&Delete Mapping", this);
  delete_->setObjectName("ctl1005");
  buttons->addStretch();
  for (QPushButton* b : {new_, modify_, delete_}) buttons->addWidget(b);
  layout->addLayout(buttons);
  connect(new_, &QPushButton::clicked, this, [this] { NewMapping(); });
  connect(modify_, &QPushButton::clicked, this, [this] { ModifySelected(); });
  connect(delete_, &QPushButton::clicked, this, [this] { DeleteSelected(); });
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { ModifySelected(); });
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
  Fill();
}

void ServicesPage::Fill() {
  list_->clear();
  for (const engine::ServiceEntry& e : engine::Services().Snapshot()) {
    ShowRow(new QTreeWidgetItem(list_), e);
  }
  UpdateButtons();
}

void ServicesPage::ShowRow(QTreeWidgetItem* item, const engine::ServiceEntry& e) {
  item->setText(0, QString::fromStdString(engine::ServiceRowName(e)));
  item->setText(1, QString::number(e.PortNum));
  item->setText(2, e.IsActive ? "Active" : "InActive");
  item->setIcon(0, icons_.At(ServiceIconIndex(e)));
}

bool ServicesPage::Selected(engine::ServiceEntry* entry) const {
  QTreeWidgetItem* item = list_->currentItem();
  if (item == nullptr || !item->isSelected()) return false;
  const std::vector<engine::ServiceEntry> services = engine::Services().Snapshot();
  const int row = list_->indexOfTopLevelItem(item);
  if (row < 0 || row >= static_cast<int>(services.size())) return false;
  *entry = services[static_cast<size_t>(row)];
  return true;
}

void ServicesPage::UpdateButtons() {
  engine::ServiceEntry e;
  const bool selected = Selected(&e);
  modify_->setEnabled(selected);
  delete_->setEnabled(selected && !engine::IsBuiltInService(e));
}

void ServicesPage::NewMapping() {
  engine::ServiceDialogInput preset;
  preset.seconds = engine::kNewMappingSeconds;
  ServiceDialog dialog(engine::ServiceDialogKind::kMapping, true, engine::kTcpMappedLinkType,
                       preset, this);
  if (dialog.exec() != QDialog::Accepted) return;
  engine::ServiceEntry added;
  if (engine::AddMapping(dialog.Input(), &added) != 0) return;
  auto* item = new QTreeWidgetItem(list_);
  ShowRow(item, added);
  list_->setCurrentItem(item);
  list_->scrollToItem(item);
  UpdateButtons();
}

void ServicesPage::ModifySelected() {
  engine::ServiceEntry listed;
  if (!Selected(&listed)) return;
  const engine::ServiceDialogKind kind = engine::DialogKindFor(listed.ServiceType);
  ServiceDialog dialog(kind, false, listed.ServiceType, engine::ServiceDialogInputFor(listed),
                       this);
  if (dialog.exec() != QDialog::Accepted) return;
  engine::ServiceEntry now;
  if (engine::ModifyService(listed, dialog.Input(), &now) != 0) return;
  ShowRow(list_->currentItem(), now);
  UpdateButtons();
}

void ServicesPage::DeleteSelected() {
  engine::ServiceEntry listed;
  if (!Selected(&listed)) return;
  if (engine::DeleteService(listed) != 0) return;
  const int row = list_->indexOfTopLevelItem(list_->currentItem());
  delete list_->takeTopLevelItem(row);
  const int left = list_->topLevelItemCount();
  if (left > 0) list_->setCurrentItem(list_->topLevelItem(row < left ? row : left - 1));
  UpdateButtons();
}

bool ServicesPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Insert) {
      NewMapping();
      return true;
    }
    if (key == Qt::Key_Delete) {
      DeleteSelected();
      return true;
    }
  }
  return ConsolePage::eventFilter(watched, event);
}

}  // namespace console
