// The Cache page's controls and commands; every rule and write is the web cache's.
#include "gateway/console/cache_page.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gateway/console/cache_exception_dialog.h"
#include "gateway/console/number_edit.h"
#include "gateway/console/page_widgets.h"
#include "gateway/web/cache_exception_edit.h"
#include "gateway/web/cache_page_rules.h"
#include "gateway/web/purge_now_job.h"

namespace console {
namespace {

// Radio buttons in unit order 1 (Hours), 2 (Days), 3 (Weeks) with their control ids.
constexpr const char* kUnitIds[] = {"ctl1107", "ctl1105", "ctl1106"};
// The list's columns share its width in these parts.
constexpr double kColumnShares[] = {0.55, 0.27, 0.18};

}  // namespace

CachePage::CachePage(QWidget* parent) : ConsolePage(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(4);
  auto* properties = new QGroupBox("Cache Properties", this);
  BuildProperties(properties);
  layout->addWidget(properties);
  auto* middle = new QHBoxLayout();
  auto* expiry = new QGroupBox("Expire After", this);
  BuildExpiry(expiry);
  middle->addWidget(expiry, 1);
  auto* purge_column = new QVBoxLayout();
  auto* purge = IdButton("Purge Now", "ctl1114", this);
  purge_column->addWidget(purge);
  activity_ = new QProgressBar(this);
  activity_->setObjectName("ctl1125");
  activity_->setRange(0, 0);  // runs without end while shown
  activity_->setTextVisible(false);
  activity_->setMaximumHeight(10);
  activity_->hide();
  purge_column->addWidget(activity_);
  purge_status_ = new QLabel(this);
  purge_status_->setObjectName("PurgeStatus");
  purge_column->addWidget(purge_status_);
  middle->addLayout(purge_column);
  layout->addLayout(middle);
  auto* exceptions = new QGroupBox("URL/TTL Exceptions", this);
  BuildExceptions(exceptions);
  layout->addWidget(exceptions, 1);
  connect(purge, &QPushButton::clicked, this, [this] { PurgeNowClicked(); });

  LoadFromSettings();
  FillExceptions();
  modify_->setEnabled(false);
  delete_->setEnabled(false);
}

void CachePage::BuildProperties(QWidget* box) {
  auto* grid = new QGridLayout(box);
  enable_cache_ = new QCheckBox("&Enable Caching", box);
  enable_cache_->setObjectName("ctl1099");
  enable_lookups_ = new QCheckBox("&Enable Cache Lookups", box);
  enable_lookups_->setObjectName("ctl1100");
  grid->setVerticalSpacing(2);
  grid->addWidget(enable_cache_, 0, 0);
  grid->addWidget(enable_lookups_, 0, 1);
  max_size_ = new NumberEdit(web::kMinCacheSizeMb, web::kMaxCacheSizeMb, box);
  max_size_->setObjectName("ctl1101");
  grid->addWidget(BuddyLabel("Max Cache Size (Mb)", max_size_, box), 1, 0);
  grid->addWidget(max_size_, 1, 1, Qt::AlignLeft);
  location_ = new QLineEdit(box);
  location_->setObjectName("ctl1102");
  grid->addWidget(BuddyLabel("Directory &Location :", location_, box), 2, 0);
  grid->addWidget(location_, 2, 1);
  auto* browse = IdButton("Browse...", "ctl1103", box);
  grid->addWidget(browse, 2, 2);
  for (QCheckBox* check : {enable_cache_, enable_lookups_}) {
    connect(check, &QCheckBox::clicked, this, [this] { Save(); });
  }
  connect(max_size_, &QSpinBox::valueChanged, this, [this] { Save(); });
  // Qt signals a lost focus only when the text changed since the last time.
  connect(location_, &QLineEdit::editingFinished, this, [this] { Save(); });
  connect(browse, &QPushButton::clicked, this, [this] { Browse(); });
}

void CachePage::BuildExpiry(QWidget* box) {
  auto* row = new QHBoxLayout(box);
  ttl_ = new NumberEdit(web::kMinPageTtl, web::kMaxPageTtl, box);
  ttl_->setObjectName("ctl1104");
  row->addWidget(ttl_);
  for (int i = 0; i < 3; ++i) {
    units_[i] = new QRadioButton(web::TtlUnitText(i + 1), box);
    units_[i]->setObjectName(kUnitIds[i]);
    row->addWidget(units_[i]);
    connect(units_[i], &QRadioButton::clicked, this, [this] { Save(); });
  }
  units_[web::kTtlDays - 1]->setChecked(true);
  connect(ttl_, &QSpinBox::valueChanged, this, [this] { Save(); });
}

void CachePage::BuildExceptions(QWidget* box) {
  auto* grid = new QGridLayout(box);
  list_ = new QTreeWidget(box);
  list_->setObjectName("ctl1108");
  list_->setRootIsDecorated(false);
  list_->setColumnCount(3);
  list_->setHeaderLabels({"URL", "Time to Live", "Unit"});
  list_->header()->setStretchLastSection(false);
  list_->viewport()->installEventFilter(this);
  grid->addWidget(list_, 0, 0, 4, 1);
  auto* add = IdButton("New", "ctl1113", box);
  modify_ = IdButton("Modify", "ctl1115", box);
  delete_ = IdButton("Delete", "ctl1116", box);
  grid->addWidget(add, 0, 1);
  grid->addWidget(modify_, 1, 1);
  grid->addWidget(delete_, 2, 1);
  connect(add, &QPushButton::clicked, this, [this] { NewException(); });
  connect(modify_, &QPushButton::clicked, this, [this] { ModifyException(); });
  connect(delete_, &QPushButton::clicked, this, [this] { DeleteException(); });
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { ModifyException(); });
  connect(list_, &QTreeWidget::currentItemChanged, this, [this] { OnRowChanged(); });
}

// The list's columns follow its width.
bool CachePage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::Resize) {
    const int width = list_->viewport()->width();
    for (int i = 0; i < 3; ++i) {
      list_->setColumnWidth(i, static_cast<int>(width * kColumnShares[i]));
    }
  }
  return ConsolePage::eventFilter(watched, event);
}

void CachePage::LoadFromSettings() {
  const web::CacheForm form = web::FormFromSettings(web::CurrentCacheSettings());
  const QSignalBlocker b1(max_size_), b2(ttl_);
  ttl_->setValue(std::stoi(form.ttl));
  enable_cache_->setChecked(form.enable_cache);
  enable_lookups_->setChecked(form.enable_lookups);
  max_size_->setValue(std::stoi(form.max_size_mb));
  location_->setText(QString::fromStdString(form.location));
  units_[form.ttl_unit - 1]->setChecked(true);
}

void CachePage::FillExceptions() {
  list_->clear();
  for (const auto& [host, value] : web::CurrentCacheExceptions()) {
    SetRow(-1, host, web::ExceptionCount(value), web::TtlUnitText(web::ExceptionUnit(value)));
  }
}

void CachePage::SetRow(int row, const std::string& host, int count, const std::string& unit) {
  QTreeWidgetItem* item = row < 0 ? new QTreeWidgetItem(list_) : list_->topLevelItem(row);
  item->setText(0, QString::fromStdString(host));
  item->setText(1, QString::number(count));
  item->setText(2, QString::fromStdString(unit));
}

int CachePage::RowOfHost(const std::string& host) const {
  for (int row = 0; row < list_->topLevelItemCount(); ++row) {
    if (list_->topLevelItem(row)->text(0).toStdString() == host) return row;
  }
  return -1;
}

void CachePage::OnRowChanged() {
  const bool selected = list_->currentItem() != nullptr;
  modify_->setEnabled(selected);
  delete_->setEnabled(selected);
}

void CachePage::Save() {
  web::CacheForm form;
  form.enable_cache = enable_cache_->isChecked();
  form.enable_lookups = enable_lookups_->isChecked();
  form.max_size_mb = max_size_->Text();
  form.location = location_->text().toStdString();
  form.ttl = ttl_->Text();
  for (int i = 0; i < 3; ++i) {
    if (units_[i]->isChecked()) form.ttl_unit = i + 1;
  }
  if (web::SaveCacheForm(form) == 0) {
    location_->setText(QString::fromStdString(web::CurrentCacheSettings().cache_location));
  }
}

// Typed values whose edit never lost its focus are saved before the page goes.
void CachePage::Leaving() {
  max_size_->interpretText();
  ttl_->interpretText();
  if (location_->text().toStdString() != web::CurrentCacheSettings().cache_location) Save();
}

bool CachePage::RunExceptionDialog(std::string* host, int* count, std::string* unit) {
  CacheExceptionDialog dialog(*host, *count, *unit, this);
  if (dialog.exec() != QDialog::Accepted) return false;
  *host = dialog.host();
  *count = dialog.count();
  *unit = dialog.unit_text();
  last_unit_ = *unit;
  return true;
}

void CachePage::NewException() {
  std::string host;
  int count = ttl_->value();
  std::string unit = last_unit_;
  if (!RunExceptionDialog(&host, &count, &unit)) return;
  // A host already listed keeps its one row: the map holds one entry per host.
  SetRow(RowOfHost(host), host, count, unit);
  (void)web::PutCacheException(host, count, web::TtlUnitOfText(unit));
}

void CachePage::ModifyException() {
  QTreeWidgetItem* item = list_->currentItem();
  if (item == nullptr) return;
  const std::string old_host = item->text(0).left(web::kMaxExceptionHostLength).toStdString();
  std::string host = old_host;
  int count = item->text(1).toInt();
  std::string unit = item->text(2).toStdString();
  if (!RunExceptionDialog(&host, &count, &unit)) return;
  const int row = list_->indexOfTopLevelItem(item);
  const int other = RowOfHost(host);
  if (other >= 0 && other != row) delete list_->takeTopLevelItem(other);
  SetRow(list_->indexOfTopLevelItem(item), host, count, unit);
  (void)web::PutCacheException(host, count, web::TtlUnitOfText(unit), old_host);
}

void CachePage::DeleteException() {
  QTreeWidgetItem* item = list_->currentItem();
  if (item == nullptr) return;
  int row = list_->indexOfTopLevelItem(item);
  (void)web::DeleteCacheException(item->text(0).toStdString());
  delete list_->takeTopLevelItem(row);
  const int rows = list_->topLevelItemCount();
  if (rows == 0) {
    modify_->setEnabled(false);
    delete_->setEnabled(false);
    return;
  }
  if (row >= rows) row = rows - 1;
  list_->setCurrentItem(list_->topLevelItem(row));
  list_->setFocus();
}

void CachePage::Browse() {
  QFileDialog dialog(this, kDirectoryDialogTitle, location_->text());
  dialog.setObjectName("DirectoryDialog");
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  location_->setText(dialog.selectedFiles().first());
  Save();
}

void CachePage::PurgeNowClicked() {
  const std::string location = web::NormalizeCacheLocation(location_->text().toStdString());
  purge_status_->clear();
  switch (web::StartPurgeNow(location)) {
    case web::PurgeNowStart::kStarted:
      purging_now_ = true;
      purge_status_->setText("Purging the Web Cache...");
      break;
    case web::PurgeNowStart::kBusy:
      purge_status_->setText("A purge is running already.");
      break;
    case web::PurgeNowStart::kDeclined:
    case web::PurgeNowStart::kMissing:
      break;
  }
}

void CachePage::ShowCacheActivity(bool on) {
  activity_->setVisible(on);
  if (!on && purging_now_) {
    purging_now_ = false;
    purge_status_->setText("The Web Cache is empty.");
  }
}

}  // namespace console
