// Controls, handlers and initialisation of the "Setup Information" dialog.
#include "clientsetup/setup_info_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "clientsetup/configuration_run.h"
#include "clientsetup/directory_dialog.h"
#include "clientsetup/help_topics.h"
#include "platform/admin_message.h"

namespace clientsetup {
namespace {

// Texts of the edits are kept within the utility's 50-byte buffers.
constexpr int kEditLength = static_cast<int>(kStoredTextBuffer) - 1;

QString ControlName(int id) { return QString("ctl%1").arg(id); }

QGroupBox* Group(const char* title, QLayout* layout) {
  auto* box = new QGroupBox(title);
  box->setLayout(layout);
  return box;
}

}  // namespace

CSetupInfoDlg::CSetupInfoDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("dlg129");
  auto* columns = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  left->addWidget(BuildGatewayGroup());
  left->addWidget(BuildPopGroup());
  columns->addLayout(left);
  columns->addWidget(BuildBrowserGroup());
  columns->addWidget(BuildMailGroup());
  auto* buttons = new QHBoxLayout;
  const std::pair<int, const char*> button_texts[] = {
      {1024, "Test Connectivity"}, {1, "OK"}, {2, "Cancel"}, {57670, "Help"}};
  for (const auto& [id, text] : button_texts) {
    auto* button = new QPushButton(text);
    button->setObjectName(ControlName(id));
    button->setProperty("controlId", id);
    button->setAutoDefault(id == 1);
    buttons->addWidget(button);
    if (id == 1024) connect(button, &QPushButton::clicked, this, [this] { OnTestConnectivity(); });
    if (id == 1) connect(button, &QPushButton::clicked, this, [this] { OnOk(); });
    if (id == 2) connect(button, &QPushButton::clicked, this, [this] { done(0); });
    if (id == 57670) {
      connect(button, &QPushButton::clicked, this, [] { ShowHelpTopic(kSetupHelpContext); });
    }
  }
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(columns);
  outer->addLayout(buttons);
}

QLineEdit* CSetupInfoDlg::AddEdit(int id, std::string SetupSettings::*field) {
  auto* edit = new QLineEdit;
  edit->setObjectName(ControlName(id));
  edit->setProperty("controlId", id);
  edit->setMaxLength(kEditLength);
  edit->setMinimumWidth(180);
  connect(edit, &QLineEdit::textChanged, this, [this, id, field](const QString& text) {
    settings_.*field = text.toStdString();
    if (id == 1009) SetTestState(TestState::kNotTested);
  });
  edits_[id] = edit;
  return edit;
}

QCheckBox* CSetupInfoDlg::AddCheck(int id, const char* label, int SetupSettings::*flag) {
  auto* check = new QCheckBox(label);
  check->setObjectName(ControlName(id));
  check->setProperty("controlId", id);
  // The flag is the truth; the box is made to show it after every click.
  connect(check, &QCheckBox::clicked, this, [this, check, flag] {
    settings_.*flag = settings_.*flag ? 0 : 1;
    check->setChecked(settings_.*flag != 0);
  });
  return check;
}

QWidget* CSetupInfoDlg::BuildGatewayGroup() {
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("Name :"), 0, 0);
  grid->addWidget(AddEdit(1008, &SetupSettings::GatewayName), 0, 1);
  grid->addWidget(new QLabel("IP Address :"), 1, 0);
  grid->addWidget(AddEdit(1009, &SetupSettings::GatewayAddress), 1, 1);
  use_defaults_ = AddCheck(1021, "Use Defaults", &SetupSettings::UseDefaults);
  disconnect(use_defaults_, &QCheckBox::clicked, this, nullptr);
  connect(use_defaults_, &QCheckBox::clicked, this, [this] { OnUseDefaults(); });
  grid->addWidget(use_defaults_, 2, 1);
  state_icon_ = new QLabel;
  state_icon_->setObjectName(ControlName(1022));
  state_text_ = new QLabel;
  state_text_->setObjectName(ControlName(1023));
  grid->addWidget(state_icon_, 3, 0);
  grid->addWidget(state_text_, 3, 1);
  return Group("Gateway Machine", grid);
}

QWidget* CSetupInfoDlg::BuildBrowserGroup() {
  auto* list = new QVBoxLayout;
  list->addWidget(AddCheck(1004, "Microsoft Internet Explorer 3.x", &SetupSettings::IE3));
  list->addWidget(AddCheck(1028, "Microsoft Internet Explorer 4.x", &SetupSettings::IE4));
  list->addWidget(AddCheck(1003, "Netscape Navigator 3.x", &SetupSettings::Navigator3));
  list->addWidget(AddCheck(1025, "NetscapeCommunicator", &SetupSettings::Communicator));
  list->addWidget(AddCheck(1020, "NCSA Mosaic", &SetupSettings::Mosaic));
  list->addWidget(AddCheck(1006, "Pointcast Network", &SetupSettings::PointCast));
  list->addStretch();
  return Group("Browsers to be configured", list);
}

QWidget* CSetupInfoDlg::BuildMailGroup() {
  auto* list = new QVBoxLayout;
  list->addWidget(AddCheck(1012, "Eudora Mail", &SetupSettings::Eudora));
  list->addWidget(AddCheck(1011, "Microsoft Exchange", &SetupSettings::Exchange));
  list->addWidget(AddCheck(1013, "Internet Mail", &SetupSettings::InternetMail));
  list->addWidget(AddCheck(1010, "Netscape 3.x Mail", &SetupSettings::Netscape3Mail));
  list->addWidget(AddCheck(1026, "Netscape Communicator Mail", &SetupSettings::CommunicatorMail));
  list->addWidget(AddCheck(1027, "Outlook Express", &SetupSettings::OutlookExpress));
  list->addWidget(AddCheck(1014, "Pegasus Mail", &SetupSettings::Pegasus));
  list->addStretch();
  return Group("Mail Clients to be configured", list);
}

QWidget* CSetupInfoDlg::BuildPopGroup() {
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("User Name :"), 0, 0);
  grid->addWidget(AddEdit(1015, &SetupSettings::UserName), 0, 1);
  grid->addWidget(new QLabel("POP Server :"), 1, 0);
  grid->addWidget(AddEdit(1016, &SetupSettings::Pop3Server), 1, 1);
  grid->addWidget(new QLabel("Return Address :"), 2, 0);
  grid->addWidget(AddEdit(1018, &SetupSettings::ReturnAddress), 2, 1);
  return Group("POP3 details ( For Mail )", grid);
}

void CSetupInfoDlg::OnUseDefaults() {
  if (settings_.UseDefaults == 0) {
    settings_.UseDefaults = 1;
    settings_.SavedGatewayName = edits_[1008]->text().left(50).toStdString();
    settings_.SavedGatewayAddress = edits_[1009]->text().left(50).toStdString();
    edits_[1008]->setText(kProductName);
    edits_[1009]->setText("192.168.0.1");
  } else {
    edits_[1008]->setText(QString::fromStdString(settings_.SavedGatewayName));
    edits_[1009]->setText(QString::fromStdString(settings_.SavedGatewayAddress));
    settings_.UseDefaults = 0;
  }
  use_defaults_->setChecked(settings_.UseDefaults != 0);
}

int CSetupInfoDlg::TestGateway() {
  TestState state = TestState::kNotTested;
  const int result = TestGatewayReachable(edits_[1009]->text().left(50).toStdString(), &state);
  SetTestState(state);
  return result;
}

void CSetupInfoDlg::OnTestConnectivity() {
  if (settings_.GatewayAddress.empty() || settings_.GatewayName.empty()) {
    platform::ShowAdminMessage("POP3 details not filled", "Please Fill Gateway Machine details",
                               platform::MessageIcon::kExclamation);
    return;
  }
  (void)TestGateway();
}

void CSetupInfoDlg::OnOk() {
  SetupHooks hooks = DefaultHooks([this] { return TestGateway(); }, configure_desktop_);
  hooks.choose_pointcast_ini = [this](std::string* path) { return ChoosePointCastIni(this, path); };
  const int result = RunConfiguration(settings_, hooks);
  if (result != kRunStopped) done(result);
}

void CSetupInfoDlg::SetTestState(TestState state) {
  test_state_ = state;
  QStyle::StandardPixmap icon = QStyle::SP_MessageBoxQuestion;                   // 133: not tested
  if (state == TestState::kTestSuccessful) icon = QStyle::SP_DialogApplyButton;  // 134
  if (state == TestState::kTestFailed) icon = QStyle::SP_MessageBoxCritical;     // 132
  if (state == TestState::kBadIpAddress || state == TestState::kCannotTest) {
    icon = QStyle::SP_MessageBoxWarning;
  }
  state_icon_->setPixmap(style()->standardIcon(icon).pixmap(32, 32));
  state_text_->setText(TestStateText(state));
}

void CSetupInfoDlg::Initialise() {
  setWindowTitle(kProductName);
  if (LoadWorkstation(&settings_) != 0) {
    settings_.GatewayName.clear();
    settings_.GatewayAddress.clear();
  }
  const std::pair<int, std::string SetupSettings::*> texts[] = {
      {1008, &SetupSettings::GatewayName},
      {1009, &SetupSettings::GatewayAddress},
      {1015, &SetupSettings::UserName},
      {1016, &SetupSettings::Pop3Server},
      {1018, &SetupSettings::ReturnAddress}};
  for (const auto& [id, field] : texts) {
    const QString text = QString::fromStdString(settings_.*field);
    edits_[id]->setText(text);  // setText also empties the edit's undo history
  }
  SetTestState(TestState::kNotTested);
}

void CSetupInfoDlg::showEvent(QShowEvent* event) {
  Initialise();
  QDialog::showEvent(event);
}

int CSetupInfoDlg::HelpContextFor(int control_id) {
  static const std::map<int, int> kContexts = {
      {1003, 132204}, {1004, 132205}, {1006, 132207}, {1008, 132209}, {1009, 132210},
      {1010, 132211}, {1011, 132212}, {1012, 132213}, {1013, 132214}, {1014, 132215},
      {1015, 132216}, {1016, 132217}, {1018, 132219}, {1020, 132220}, {1021, 132218},
      {1024, 132225}, {1025, 132222}, {1026, 132223}, {1027, 132224}, {1028, 132221}};
  auto found = kContexts.find(control_id);
  return found == kContexts.end() ? 0 : found->second;
}

void CSetupInfoDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    QWidget* focus = focusWidget();
    const int id = focus ? focus->property("controlId").toInt() : 0;
    ShowHelpTopic(HelpContextFor(id));
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace clientsetup
