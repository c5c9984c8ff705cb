// Builds each dialog's controls from its kind and reads them back for the engine's checks.
#include "gateway/console/service_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gateway/engine/service_list.h"

namespace console {
namespace {

using engine::ServiceDialogKind;

QString CtlName(int id) { return QString("ctl%1").arg(id); }

QString Caption(ServiceDialogKind kind, bool new_mapping, const std::string& name) {
  switch (kind) {
    case ServiceDialogKind::kBuiltIn:
      return QString::fromStdString("Modify " + name + " Service");
    case ServiceDialogKind::kMappedServer:
      return "Modify Service";
    case ServiceDialogKind::kMapping:
      return new_mapping ? "New Mapping" : "Modify Mapping";
    case ServiceDialogKind::kDns:
      break;
  }
  return "Modify DNS";
}

int NumberIn(const QWidget* w) {
  const auto* edit = qobject_cast<const QLineEdit*>(w);
  if (edit == nullptr) return 0;
  bool ok = false;
  const int value = edit->text().trimmed().toInt(&ok);
  return ok ? value : 0;
}

bool Checked(const QWidget* w) {
  const auto* box = qobject_cast<const QAbstractButton*>(w);
  return box != nullptr && box->isChecked();
}

std::string TextIn(const QWidget* w) {
  const auto* edit = qobject_cast<const QLineEdit*>(w);
  return edit == nullptr ? std::string() : edit->text().trimmed().toStdString();
}

}  // namespace

ServiceDialog::ServiceDialog(ServiceDialogKind kind, bool new_mapping, const std::string& name,
                             const engine::ServiceDialogInput& input, QWidget* parent)
    : QDialog(parent), kind_(kind), preset_(input) {
  setObjectName("ServiceDialog");
  setWindowTitle(Caption(kind, new_mapping, name));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout();
  layout->addLayout(form);
  form->addRow(Check(engine::kCtlActive, "&Active", input.active));
  QLineEdit* port = NumberEdit(engine::kCtlPort, input.port);
  form->addRow("&Port:", port);
  if (kind == ServiceDialogKind::kDns) {
    // The DNS socket always takes port 53, where the clients' resolvers ask.
    port->setReadOnly(true);
    form->addRow(Check(engine::kCtlUseDialler, "&Use Dialler", input.use_dialler));
    form->addRow(Check(engine::kCtlUseCache, "Use &Cache", input.use_cache));
  } else {
    auto* timeout_row = new QHBoxLayout();
    timeout_row->addWidget(Check(engine::kCtlTimeout, "&Timeout after", input.timeout));
    timeout_row->addWidget(NumberEdit(engine::kCtlSeconds, input.seconds));
    timeout_row->addWidget(new QLabel("seconds", this));
    form->addRow(timeout_row);
  }
  const int host_width = static_cast<int>(engine::kDefaultHostWidth) - 1;
  if (kind == ServiceDialogKind::kMappedServer) {
    auto* label = new QLabel(QString::asprintf("%s%s", name.c_str(), " Server"), this);
    label->setObjectName(CtlName(engine::kCtlServerLabel));
    form->addRow(label, TextEdit(engine::kCtlServer, input.server, host_width));
    form->addRow("Server p&ort:", NumberEdit(engine::kCtlServerPort, input.server_port));
  }
  if (kind == ServiceDialogKind::kMapping) {
    auto* tcp = new QRadioButton("T&CP", this);
    tcp->setObjectName(CtlName(engine::kCtlTcp));
    auto* udp = new QRadioButton("&UDP", this);
    udp->setObjectName(CtlName(engine::kCtlUdp));
    (input.protocol == 1 ? udp : tcp)->setChecked(true);
    auto* protocol_row = new QHBoxLayout();
    protocol_row->addWidget(tcp);
    protocol_row->addWidget(udp);
    protocol_row->addStretch();
    form->addRow("Protocol:", protocol_row);
    form->addRow("Default remote &host:",
                 TextEdit(engine::kCtlRemoteHost, input.server, host_width));
    form->addRow("Remote po&rt:", NumberEdit(engine::kCtlRemotePort, input.server_port));
    form->addRow("Mapping &name:", TextEdit(engine::kCtlMappingName, input.mapping_name,
                                            static_cast<int>(engine::kMappingNameWidth) - 1));
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &ServiceDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ServiceDialog::reject);
  layout->addWidget(buttons);
  setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + 160);
}

QLineEdit* ServiceDialog::NumberEdit(int id, int value) {
  auto* edit = new QLineEdit(QString::number(value), this);
  edit->setObjectName(CtlName(id));
  edit->setMaxLength(10);
  return edit;
}

QLineEdit* ServiceDialog::TextEdit(int id, const std::string& text, int max_length) {
  auto* edit = new QLineEdit(QString::fromStdString(text), this);
  edit->setObjectName(CtlName(id));
  edit->setMaxLength(max_length);
  return edit;
}

QCheckBox* ServiceDialog::Check(int id, const char* label, bool on) {
  auto* box = new QCheckBox(label, this);
  box->setObjectName(CtlName(id));
  box->setChecked(on);
  return box;
}

QWidget* ServiceDialog::Control(int id) const { return findChild<QWidget*>(CtlName(id)); }

engine::ServiceDialogInput ServiceDialog::Input() const {
  engine::ServiceDialogInput in = preset_;
  in.active = Checked(Control(engine::kCtlActive));
  in.port = NumberIn(Control(engine::kCtlPort));
  in.timeout = Checked(Control(engine::kCtlTimeout));
  in.seconds = NumberIn(Control(engine::kCtlSeconds));
  if (kind_ == ServiceDialogKind::kMappedServer) {
    in.server = TextIn(Control(engine::kCtlServer));
    in.server_port = NumberIn(Control(engine::kCtlServerPort));
  }
  if (kind_ == ServiceDialogKind::kMapping) {
    in.protocol = Checked(Control(engine::kCtlUdp)) ? 1 : 0;
    in.server = TextIn(Control(engine::kCtlRemoteHost));
    in.server_port = NumberIn(Control(engine::kCtlRemotePort));
    in.mapping_name = TextIn(Control(engine::kCtlMappingName));
  }
  if (kind_ == ServiceDialogKind::kDns) {
    in.use_dialler = Checked(Control(engine::kCtlUseDialler));
    in.use_cache = Checked(Control(engine::kCtlUseCache));
  }
  return in;
}

void ServiceDialog::accept() {
  const engine::ServiceDialogInput in = Input();
  const std::vector<engine::ServiceEntry> services = engine::Services().Snapshot();
  int focus = 0;
  int rc = 0;
  if (kind_ == ServiceDialogKind::kMapping) {
    rc = engine::ValidateMappingDialog(in, services, &focus);
  } else if (kind_ != ServiceDialogKind::kDns) {
    rc = engine::ValidateServiceDialog(kind_, in, services, &focus);
  }
  if (rc != 0) {
    if (QWidget* control = Control(focus)) {
      control->setFocus();
      if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
    }
    return;
  }
  QDialog::accept();
}

}  // namespace console
