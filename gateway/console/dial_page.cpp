// The Dial page's controls and handlers; the rules, writes and dialling are the dialler's.
#include "gateway/console/dial_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "gateway/console/page_widgets.h"
#include "gateway/dialer/dial_by_hand.h"
#include "gateway/engine/password_scramble.h"
#include "gateway/engine/session_registry.h"

namespace console {
namespace {

QLineEdit* Edit(const char* id, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(id);
  return edit;
}

}  // namespace

DialPage::DialPage(QWidget* parent) : ConsolePage(parent) {
  auto* grid = new QGridLayout(this);
  grid->addWidget(BuildSettings(), 0, 0);
  grid->addWidget(BuildAuthentication(), 1, 0);
  grid->addWidget(BuildProfiles(), 0, 1, 2, 1);
  auto* status_box = new QGroupBox("Connection Status", this);
  auto* status_row = new QVBoxLayout(status_box);
  status_ = new QLabel(dialer::kOffline, status_box);
  status_->setObjectName("ctl1017");
  status_row->addWidget(status_);
  grid->addWidget(status_box, 2, 0, 1, 2);
  auto* buttons = new QHBoxLayout();
  auto* apply = IdButton("Appl&y", "ctl1065", this);
  auto* dial = IdButton("&Dial", "ctl1010", this);
  auto* stop = IdButton("S&top", "ctl1009", this);
  buttons->addStretch(1);
  for (QPushButton* b : {apply, dial, stop}) buttons->addWidget(b);
  grid->addLayout(buttons, 3, 0, 1, 2);
  connect(apply, &QPushButton::clicked, this, [this] { Save(); });
  connect(dial, &QPushButton::clicked, this, [this] { Dial(); });
  connect(stop, &QPushButton::clicked, this, [this] { Stop(); });

  timer_ = new QTimer(this);
  timer_->setInterval(kDialStatusPeriodMs);
  connect(timer_, &QTimer::timeout, this, [this] { ShowStatus(); });
  timer_->start();
  ShowForm(dialer::LoadDialForm());
  RefreshProfiles();
}

QWidget* DialPage::BuildSettings() {
  auto* box = new QWidget(this);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  dial_on_demand_ = new QCheckBox("Dia&l on Demand", box);
  dial_on_demand_->setObjectName("ctl1000");
  retries_ = Edit("ctl1001", box);
  disconnect_ = new QCheckBox("D&isconnnect", box);
  disconnect_->setObjectName("ctl1002");
  minutes_ = Edit("ctl1003", box);
  for (QLineEdit* e : {retries_, minutes_}) e->setMaximumWidth(48);
  grid->addWidget(dial_on_demand_, 0, 0);
  grid->addWidget(BuddyLabel("&with", retries_, box), 0, 1);
  grid->addWidget(retries_, 0, 2);
  grid->addWidget(new QLabel("retries.", box), 0, 3);
  grid->addWidget(disconnect_, 1, 0);
  grid->addWidget(BuddyLabel("&after", minutes_, box), 1, 1);
  grid->addWidget(minutes_, 1, 2);
  grid->addWidget(new QLabel("inactive minutes.", box), 1, 3);
  connect(dial_on_demand_, &QCheckBox::clicked, this, [this](bool on) {
    retries_->setEnabled(on);
    Save();
  });
  connect(disconnect_, &QCheckBox::clicked, this, [this](bool on) {
    minutes_->setEnabled(on);
    if (on && minutes_->text().trimmed() == "0") minutes_->setText("1");
    Save();
  });
  // Qt signals a lost focus only when the text changed since the last time.
  connect(retries_, &QLineEdit::editingFinished, this, [this] { Save(); });
  connect(minutes_, &QLineEdit::editingFinished, this, [this] {
    if (disconnect_->isChecked() && minutes_->text().trimmed() == "0") minutes_->setText("1");
    Save();
  });
  return box;
}

QWidget* DialPage::BuildAuthentication() {
  authentication_ = new QGroupBox("Authentication", this);
  authentication_->setObjectName("ctl1094");
  auto* grid = new QGridLayout(authentication_);
  name_ = Edit("ctl1007", authentication_);
  password_ = Edit("ctl1058", authentication_);
  password_->setEchoMode(QLineEdit::Password);
  password_->setMaxLength(static_cast<int>(engine::kMaxScrambledPassword));
  domain_ = Edit("ctl1008", authentication_);
  const std::pair<const char*, QLineEdit*> rows[] = {
      {"&Name", name_}, {"&Password", password_}, {"D&omain", domain_}};
  int row = 0;
  for (const auto& [label, edit] : rows) {
    grid->addWidget(BuddyLabel(label, edit, authentication_), row, 0);
    grid->addWidget(edit, row++, 1);
    connect(edit, &QLineEdit::editingFinished, this, [this] { Save(); });
  }
  return authentication_;
}

QWidget* DialPage::BuildProfiles() {
  auto* box = new QWidget(this);
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);
  profiles_ = new QListWidget(box);
  profiles_->setObjectName("ctl1074");
  column->addWidget(BuddyLabel("Pro&files", profiles_, box));
  column->addWidget(profiles_, 1);
  auto* refresh = IdButton("&Refresh Profiles", "ctl1012", box);
  column->addWidget(refresh);
  connect(refresh, &QPushButton::clicked, this, [this] { RefreshProfiles(); });
  connect(profiles_, &QListWidget::currentRowChanged, this, [this] {
    if (!refreshing_) ShowProfile();
  });
  return box;
}

void DialPage::ShowForm(const dialer::DialForm& form) {
  dial_on_demand_->setChecked(form.dial_on_demand);
  retries_->setText(QString::fromStdString(form.retries));
  disconnect_->setChecked(form.auto_disconnect);
  minutes_->setText(QString::fromStdString(form.minutes));
  name_->setText(QString::fromStdString(form.name));
  password_->setText(QString::fromStdString(form.password));
  domain_->setText(QString::fromStdString(form.domain));
  retries_->setEnabled(form.dial_on_demand);
  minutes_->setEnabled(form.auto_disconnect);
}

std::string DialPage::SelectedEntry() const {
  QListWidgetItem* item = profiles_->currentItem();
  return item == nullptr ? std::string() : item->text().toStdString();
}

void DialPage::Save() {
  dialer::DialForm form;
  form.dial_on_demand = dial_on_demand_->isChecked();
  form.retries = retries_->text().toStdString();
  form.auto_disconnect = disconnect_->isChecked();
  form.minutes = minutes_->text().toStdString();
  form.name = name_->text().toStdString();
  form.password = password_->text().toStdString();
  form.domain = domain_->text().toStdString();
  form.profile = SelectedEntry();
  dialer::DialField field = dialer::DialField::kNone;
  if (dialer::SaveDialForm(&form, &field) == 0) return;
  if (!form.dial_on_demand && dial_on_demand_->isChecked()) {
    dial_on_demand_->setChecked(false);
    retries_->setEnabled(false);
  }
  if (field == dialer::DialField::kMinutes) minutes_->setFocus();
  if (field == dialer::DialField::kRetries) retries_->setFocus();
}

void DialPage::RefreshProfiles() {
  dialer::DialForm form;
  form.dial_on_demand = dial_on_demand_->isChecked();
  std::vector<std::string> entries;
  const bool read = dialer::RefreshProfiles(&form, &entries) == 0;
  refreshing_ = true;
  profiles_->clear();
  for (const std::string& entry : entries) profiles_->addItem(QString::fromStdString(entry));
  for (int row = 0; row < profiles_->count(); ++row) {
    if (profiles_->item(row)->text().toStdString() == form.profile) profiles_->setCurrentRow(row);
  }
  refreshing_ = false;
  if (read && !form.dial_on_demand && dial_on_demand_->isChecked()) {
    dial_on_demand_->setChecked(false);
    retries_->setEnabled(false);
  }
  ShowProfile();
}

void DialPage::ShowProfile() {
  if (profiles_->currentItem() == nullptr && profiles_->count() > 0) {
    const QSignalBlocker block(profiles_);
    profiles_->setCurrentRow(0);
  }
  const std::string entry = SelectedEntry();
  dialer::DialForm form;
  dialer::LoadCredentials(entry, &form);
  name_->setText(QString::fromStdString(form.name));
  password_->setText(QString::fromStdString(form.password));
  domain_->setText(QString::fromStdString(form.domain));
  authentication_->setTitle(QString::fromStdString(dialer::AuthenticationCaption(entry)));
  Save();
}

void DialPage::Dial() {
  Save();
  std::string status;
  (void)dialer::DialByHand(SelectedEntry(), &status);
  if (!status.empty()) status_->setText(QString::fromStdString(status));
}

void DialPage::Stop() {
  Save();
  (void)dialer::StopByHand(engine::CountSessions());
}

void DialPage::ShowStatus() { status_->setText(QString::fromStdString(dialer::DialStatusLine())); }

void DialPage::Leaving() {
  timer_->stop();
  Save();
}

}  // namespace console
