// Who may use the gateway, as the Security page shows and changes it.
#include "gateway/console/allowed_clients_box.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "gateway/engine/client_filter.h"
#include "platform/admin_message.h"

namespace console {

AllowedClientsBox::AllowedClientsBox(QWidget* parent)
    : QGroupBox("Who may use the gateway", parent) {
  setObjectName("allowedClients");
  auto* layout = new QHBoxLayout(this);
  lan_ = new QRadioButton("&LAN only", this);
  lan_->setObjectName("allowLan");
  any_ = new QRadioButton("An&yone", this);
  any_->setObjectName("allowAny");
  listed_ = new QRadioButton("&These addresses:", this);
  listed_->setObjectName("allowListed");
  addresses_ = new QLineEdit(this);
  addresses_->setObjectName("allowedAddresses");
  addresses_->setPlaceholderText("192.168.1.0/24;10.0.0.5");
  auto* apply = new QPushButton("A&pply", this);
  apply->setObjectName("applyAllowed");
  for (QWidget* w :
       {static_cast<QWidget*>(lan_), static_cast<QWidget*>(any_), static_cast<QWidget*>(listed_),
        static_cast<QWidget*>(addresses_), static_cast<QWidget*>(apply)}) {
    layout->addWidget(w);
  }
  connect(listed_, &QRadioButton::toggled, addresses_, &QLineEdit::setEnabled);
  connect(apply, &QPushButton::clicked, this, [this] { (void)Apply(); });
  Fill();
}

void AllowedClientsBox::Fill() {
  const QString text = QString::fromStdString(engine::AllowedClientsText()).trimmed();
  const bool is_lan = text.compare("lan", Qt::CaseInsensitive) == 0;
  const bool is_any = text.compare("any", Qt::CaseInsensitive) == 0;
  lan_->setChecked(is_lan);
  any_->setChecked(is_any);
  listed_->setChecked(!is_lan && !is_any);
  addresses_->setText(is_lan || is_any ? QString() : text);
  addresses_->setEnabled(listed_->isChecked());
}

int AllowedClientsBox::Apply() {
  std::string text = lan_->isChecked()   ? "lan"
                     : any_->isChecked() ? "any"
                                         : addresses_->text().trimmed().toStdString();
  if (text.empty() || engine::SetAllowedClients(text) != 0) {
    platform::ShowAdminMessage("Wayfarer",
                               "The address list cannot be read. Give addresses or "
                               "address/prefix pairs separated by ';', for example "
                               "192.168.1.0/24;10.0.0.5.",
                               platform::MessageIcon::kError);
    addresses_->setFocus();
    return -1;
  }
  Fill();
  return 0;
}

}  // namespace console
