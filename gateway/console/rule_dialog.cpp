// The rule dialog's controls; the checks and the record are the engine's.
#include "gateway/console/rule_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gateway/engine/service_catalogue.h"

namespace console {
namespace {

constexpr int kRuleNumbers = 11;  // "All" and the ten services
constexpr int kHttpRule = 1;

}  // namespace

RuleDialog::RuleDialog(const engine::RuleDialogInput& input, QWidget* parent) : QDialog(parent) {
  setObjectName("RuleDialog");
  setWindowTitle("Secure");
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox("Deny Service", this);
  auto* grid = new QGridLayout(group);
  services_ = new QButtonGroup(this);
  for (int n = 0; n < kRuleNumbers; ++n) {
    auto* radio = new QRadioButton(engine::RuleServiceText(n), group);
    radio->setObjectName(QString("rule%1").arg(n));
    services_->addButton(radio, n);
    grid->addWidget(radio, n / 4, n % 4);
  }
  const int preset =
      input.rule_number >= 0 && input.rule_number < kRuleNumbers ? input.rule_number : 0;
  services_->button(preset)->setChecked(true);
  layout->addWidget(group);

  all_clients_ = new QCheckBox("Check this to deny all clients OR Specify Client IP.", this);
  all_clients_->setObjectName("allClients");
  all_clients_->setChecked(input.all_clients);
  client_ = new QLineEdit(QString::fromStdString(input.client), this);
  client_->setObjectName("client");
  client_->setMaxLength(static_cast<int>(engine::kRuleAddressInput));
  all_hosts_ = new QCheckBox("Check this to deny all hosts OR Specify Host IP.", this);
  all_hosts_->setObjectName("allHosts");
  all_hosts_->setChecked(input.all_hosts);
  host_ = new QLineEdit(QString::fromStdString(input.host), this);
  host_->setObjectName("host");
  host_->setMaxLength(static_cast<int>(engine::kRuleAddressInput));
  data_ = new QLineEdit(QString::fromStdString(input.data), this);
  data_->setObjectName("data");
  data_->setMaxLength(static_cast<int>(engine::kRuleDataInput));
  for (QWidget* w : std::initializer_list<QWidget*>{all_clients_, client_, all_hosts_, host_}) {
    layout->addWidget(w);
  }
  auto* data_label = new QLabel("&Data", this);
  data_label->setBuddy(data_);
  layout->addWidget(data_label);
  layout->addWidget(data_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &RuleDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &RuleDialog::reject);
  layout->addWidget(buttons);
  connect(all_clients_, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
  connect(all_hosts_, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
  connect(services_, &QButtonGroup::idToggled, this, [this] { UpdateEnabled(); });
  UpdateEnabled();
}

void RuleDialog::UpdateEnabled() {
  client_->setEnabled(!all_clients_->isChecked());
  host_->setEnabled(!all_hosts_->isChecked());
  data_->setEnabled(services_->checkedId() == kHttpRule);
}

engine::RuleDialogInput RuleDialog::Input() const {
  engine::RuleDialogInput in;
  in.rule_number = services_->checkedId() < 0 ? 0 : services_->checkedId();
  in.all_clients = all_clients_->isChecked();
  in.client = client_->text().trimmed().toStdString();
  in.all_hosts = all_hosts_->isChecked();
  in.host = host_->text().trimmed().toStdString();
  in.data = data_->text().toStdString();
  return in;
}

void RuleDialog::accept() {
  const engine::RuleDialogInput in = Input();
  if (engine::ValidateRuleInput(in) != 0) {
    (!in.all_clients && in.client.empty() ? client_ : host_)->setFocus();
    return;
  }
  QDialog::accept();
}

}  // namespace console
