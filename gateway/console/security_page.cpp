// Each row shows one line of the rule-list holder split at its tabs, so the page and the holder
// stay the same list; rows are found by their position, the rule's subkey number.
#include "gateway/console/security_page.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gateway/console/allowed_clients_box.h"
#include "gateway/console/change_password_dialog.h"
#include "gateway/console/rule_dialog.h"
#include "gateway/engine/rule_list.h"
#include "gateway/engine/security_page.h"

namespace console {
namespace {

QPushButton* Button(QWidget* parent, const char* text, const char* name) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  return b;
}

}  // namespace

SecurityPage::SecurityPage(QWidget* parent) : ConsolePage(parent) {
  auto* layout = new QVBoxLayout(this);
  list_ = new QTreeWidget(this);
  list_->setObjectName("ctlRules");
  list_->setColumnCount(4);
  list_->setHeaderLabels({"Deny Service", "To Client", "To Host", "Data"});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->header()->setSectionResizeMode(QHeaderView::Stretch);
  layout->addWidget(list_, 1);
  // The setting of which clients may use the gateway at all takes its place here.
  allowed_clients_area_ = new QVBoxLayout();
  allowed_clients_area_->addWidget(new AllowedClientsBox(this));
  layout->addLayout(allowed_clients_area_);
  auto* buttons = new QHBoxLayout();
  auto* secure = Button(this, "&Secure", "secure");
  modify_ = Button(this, "&Modify", "modify");
  delete_ = Button(this, "&Delete", "delete");
  auto* password = Button(this, "Change &Password", "changePassword");
  for (QPushButton* b : {secure, modify_, delete_}) buttons->addWidget(b);
  buttons->addStretch();
  buttons->addWidget(password);
  layout->addLayout(buttons);
  connect(secure, &QPushButton::clicked, this, [this] { SecureNew(); });
  connect(modify_, &QPushButton::clicked, this, [this] { ModifySelected(); });
  connect(delete_, &QPushButton::clicked, this, [this] { DeleteSelected(); });
  connect(password, &QPushButton::clicked, this, [this] { ChangePassword(); });
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { ModifySelected(); });
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
    const bool selected = SelectedRow() >= 0;
    modify_->setEnabled(selected);
    delete_->setEnabled(selected);
  });
  Fill();
}

void SecurityPage::Fill() {
  list_->clear();
  const size_t lines = engine::TheRuleList().Size();
  for (size_t i = 0; i < lines; ++i) {
    new QTreeWidgetItem(list_);
    ShowLine(static_cast<int>(i));
  }
  modify_->setEnabled(false);
  delete_->setEnabled(false);
}

void SecurityPage::ShowLine(int row) {
  QTreeWidgetItem* item = list_->topLevelItem(row);
  engine::RuleRecord rule;
  if (item == nullptr || !engine::TheRuleList().RuleAt(static_cast<size_t>(row), &rule)) return;
  // The holder's line is "\t%s\t%s\t%s\t%s"; its fields are the columns.
  const QStringList fields = QString::fromStdString(engine::RuleLine(rule)).split('\t');
  for (int column = 0; column < 4 && column + 1 < fields.size(); ++column) {
    item->setText(column, fields[column + 1]);
  }
}

void SecurityPage::Select(int row) {
  if (QTreeWidgetItem* item = list_->topLevelItem(row)) {
    list_->setCurrentItem(item);
    list_->scrollToItem(item);
  }
}

int SecurityPage::SelectedRow() const {
  QTreeWidgetItem* item = list_->currentItem();
  return item != nullptr && item->isSelected() ? list_->indexOfTopLevelItem(item) : -1;
}

void SecurityPage::SecureNew() {
  RuleDialog dialog(engine::RuleDialogInput{}, this);
  if (dialog.exec() != QDialog::Accepted) return;
  const int row = engine::SecureRule(engine::BuildRuleRecord(dialog.Input()));
  if (row < 0) return;
  new QTreeWidgetItem(list_);
  ShowLine(row);
  Select(row);
}

void SecurityPage::ModifySelected() {
  const int row = SelectedRow();
  engine::RuleRecord rule;
  if (row < 0 || !engine::TheRuleList().RuleAt(static_cast<size_t>(row), &rule)) return;
  RuleDialog dialog(engine::DialogInputFor(rule), this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (engine::ModifyRule(static_cast<size_t>(row), engine::BuildRuleRecord(dialog.Input())) != 0) {
    return;
  }
  ShowLine(row);
  Select(row);
}

void SecurityPage::DeleteSelected() {
  const int row = SelectedRow();
  int next = -1;
  if (row < 0 || engine::DeleteRule(static_cast<size_t>(row), &next) != 0) return;
  delete list_->takeTopLevelItem(row);
  if (next >= 0) {
    Select(next);
  } else {
    modify_->setEnabled(false);
    delete_->setEnabled(false);
  }
}

void SecurityPage::ChangePassword() {
  ChangePasswordDialog dialog(this);
  (void)dialog.exec();
}

}  // namespace console
