// The administering pages on a running engine in-process (private store, free ports, one TCP
// mapping "Echo" to a loopback echo server): mappings added, moved and deleted from the
// Services page relay or stop at once, the dialogs' checks with their focus, deny rules from
// the Security page in force at once, and the master password set, changed and removed.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "gateway/console/change_password_dialog.h"
#include "gateway/console/console_app.h"
#include "gateway/console/password_prompt.h"
#include "gateway/console/rule_dialog.h"
#include "gateway/console/service_dialog.h"
#include "gateway/engine/client_filter.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/master_password.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/store_access.h"
#include "platform/socket.h"
#include "platform/testing/echo_server.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace console {
namespace {

using platform::Socket;
using platform::testing::Echoes;
using platform::testing::MessageRecorder;

uint16_t FreePort() {
  Socket probe = platform::CreateSocket(SOCK_STREAM);
  uint16_t port = 0;
  if (platform::BindLoopback(probe, 0) == 0) port = platform::LocalPort(probe);
  platform::CloseSocket(probe);
  return port;
}

// A new connection to port relays bytes through the gateway (false: refused or closed).
bool Relays(int port) {
  Socket c = platform::CreateSocket(SOCK_STREAM);
  const bool ok =
      platform::Connect(c, "127.0.0.1", static_cast<uint16_t>(port), 2000) == 0 && Echoes(c);
  platform::CloseSocket(c);
  return ok;
}

bool Answers(int port) {
  Socket c = platform::CreateSocket(SOCK_STREAM);
  const bool ok = platform::Connect(c, "127.0.0.1", static_cast<uint16_t>(port), 2000) == 0;
  platform::CloseSocket(c);
  return ok;
}

std::string StoredName(int n) {
  platform::RegKey key;
  std::string name = "(none)";
  if (engine::OpenNumbered(engine::kKeyService, n, false, &key) == 0) {
    (void)engine::GetString(key, "MappingName", engine::kMappingNameWidth, &name);
  }
  return name;
}

// Runs fill on the next modal dialog of type D once it is open (inside its own loop).
template <typename D>
void WhenOpen(std::function<void(D*)> fill) {
  QTimer::singleShot(0, [fill] {
    D* dialog = nullptr;
    (void)QTest::qWaitFor(
        [&] {
          dialog = dynamic_cast<D*>(QApplication::activeModalWidget());
          return dialog != nullptr;
        },
        5000);
    ASSERT_NE(dialog, nullptr);
    fill(dialog);
    if (dialog->isVisible()) dialog->reject();
  });
}

void SetText(ServiceDialog* d, int id, const QString& text) {
  auto* edit = qobject_cast<QLineEdit*>(d->Control(id));
  ASSERT_NE(edit, nullptr) << id;
  edit->setText(text);
}

class ConsoleAdminTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(engine::WriteDefaultConfiguration(), 0);
    www_port_ = FreePort();
    for (int i = 0; i < 10; ++i) {
      platform::RegKey key;
      ASSERT_EQ(engine::OpenNumbered(engine::kKeyService, i, false, &key), 0);
      ASSERT_TRUE(engine::SetDword(key, "IsActive", i == 0 ? 1 : 0));
      if (i == 0) {
        ASSERT_TRUE(engine::SetDword(key, "PortNum", www_port_));
      }
    }
    echo_port_ = FreePort();
    engine::ServiceEntry m;
    m.ServiceType = "TCP Mapped Link";
    m.MappingName = "Echo";
    m.PortNum = echo_port_;
    m.IsActive = 1;
    m.ListenCapacity = 8;
    m.DefaultHost = "127.0.0.1";
    m.DefaultHostPortNum = echo_.port();
    m.ProtocolType = 0;
    ASSERT_EQ(engine::CreateServiceEntry(10, m), 0);
    ASSERT_EQ(engine::WriteCurrentTab(0), 0);
    console_ = std::make_unique<ConsoleApp>(Mode::kTray);
    app_ = std::make_unique<engine::GatewayApp>(engine::StartupHooks{});
    ASSERT_EQ(app_->InitInstance(), engine::GatewayApp::Start::kRunning);
    console_->Attach(*app_);
    console_->OpenConsole(false);
    ASSERT_NE(console_->console(), nullptr);
  }
  void TearDown() override {
    app_->Shutdown(false);
    app_.reset();
    console_.reset();
  }

  void ShowTab(PageKind kind) {
    ConsoleWindow* w = console_->console();
    w->tabs()->setCurrentIndex(w->TabIndexOf(kind));
  }
  QTreeWidget* Tree(const char* name) const {
    return console_->console()->findChild<QTreeWidget*>(name);
  }
  QPushButton* Button(const char* name) const {
    return console_->console()->findChild<QPushButton*>(name);
  }
  int RowOf(QTreeWidget* tree, const QString& text) const {
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
      if (tree->topLevelItem(i)->text(0) == text) return i;
    }
    return -1;
  }
  void SelectRow(QTreeWidget* tree, int row) { tree->setCurrentItem(tree->topLevelItem(row)); }

  platform::testing::TempStore store_;
  platform::testing::EchoServer echo_;
  uint16_t echo_port_ = 0;
  uint16_t www_port_ = 0;
  std::unique_ptr<ConsoleApp> console_;
  std::unique_ptr<engine::GatewayApp> app_;
};

TEST_F(ConsoleAdminTest, MappingAddedMovedAndDeletedFromTheServicesPageActsAtOnce) {
  QTreeWidget* list = Tree("ctl1086");
  ASSERT_NE(list, nullptr) << "the Services page opens at tab 0";
  ASSERT_EQ(list->topLevelItemCount(), 11);
  EXPECT_FALSE(Button("ctl1004")->isEnabled());
  const int first = FreePort();
  WhenOpen<ServiceDialog>([&](ServiceDialog* d) {
    EXPECT_EQ(d->windowTitle().toStdString(), "New Mapping");
    EXPECT_EQ(qobject_cast<QLineEdit*>(d->Control(engine::kCtlSeconds))->text(), "180");
    qobject_cast<QCheckBox*>(d->Control(engine::kCtlActive))->setChecked(true);
    SetText(d, engine::kCtlPort, QString::number(first));
    SetText(d, engine::kCtlRemoteHost, "127.0.0.1");
    SetText(d, engine::kCtlRemotePort, QString::number(echo_.port()));
    SetText(d, engine::kCtlMappingName, "Echo2");
    d->accept();
  });
  QTest::keyClick(list, Qt::Key_Insert);
  ASSERT_EQ(list->topLevelItemCount(), 12);
  const int row = RowOf(list, "Echo2");
  ASSERT_EQ(row, 11);
  EXPECT_EQ(list->currentItem(), list->topLevelItem(row)) << "the new row is selected";
  EXPECT_EQ(list->topLevelItem(row)->text(2), "Active");
  EXPECT_TRUE(Relays(first)) << "relays at once";

  const int second = FreePort();
  WhenOpen<ServiceDialog>([&](ServiceDialog* d) {
    EXPECT_EQ(d->windowTitle().toStdString(), "Modify Mapping");
    SetText(d, engine::kCtlPort, QString::number(second));
    d->accept();
  });
  QTest::mouseClick(Button("ctl1004"), Qt::LeftButton);
  EXPECT_EQ(list->topLevelItem(row)->text(1), QString::number(second));
  EXPECT_FALSE(Answers(first)) << "the old port stops answering";
  EXPECT_TRUE(Relays(second));

  SelectRow(list, RowOf(list, "Echo"));
  EXPECT_TRUE(Button("ctl1005")->isEnabled());
  QTest::keyClick(list, Qt::Key_Delete);
  int total = 0;
  ASSERT_EQ(engine::ReadTotalServices(&total), 0);
  EXPECT_EQ(total, 11);
  EXPECT_EQ(StoredName(10), "Echo2") << "the later mapping moved down one subkey";
  EXPECT_EQ(RowOf(list, "Echo"), -1);
  EXPECT_EQ(list->currentItem(), list->topLevelItem(10));
  EXPECT_FALSE(Answers(echo_port_));
  EXPECT_TRUE(Relays(second));
}

TEST_F(ConsoleAdminTest, InactiveBuiltInClosesItsPortAndBuiltInsAreNotDeleted) {
  QTreeWidget* list = Tree("ctl1086");
  ASSERT_TRUE(Answers(www_port_));
  SelectRow(list, RowOf(list, "WWW"));
  EXPECT_FALSE(Button("ctl1005")->isEnabled());
  WhenOpen<ServiceDialog>([](ServiceDialog* d) {
    EXPECT_EQ(d->windowTitle().toStdString(), "Modify WWW Service");
    qobject_cast<QCheckBox*>(d->Control(engine::kCtlActive))->setChecked(false);
    d->accept();
  });
  const QPoint on_row = list->visualItemRect(list->currentItem()).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, on_row);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, on_row);
  EXPECT_EQ(list->currentItem()->text(2), "InActive");
  EXPECT_FALSE(Answers(www_port_));

  MessageRecorder messages;
  SelectRow(list, RowOf(list, "DNS"));
  QTest::keyClick(list, Qt::Key_Delete);
  ASSERT_EQ(messages.texts().size(), 1u);
  EXPECT_EQ(messages.texts()[0], "Can't delete DNS service");
  EXPECT_EQ(list->topLevelItemCount(), 11);
  EXPECT_EQ(engine::Services().size(), 11u);
}

TEST_F(ConsoleAdminTest, EachDialogCheckShowsItsMessageAndFocusesItsControl) {
  struct Case {
    const char* service;  // the row modified; nullptr: a new mapping
    std::function<void(ServiceDialog*)> fill;
    const char* message;
    int focus;
  };
  const QString echo = QString::number(echo_port_), www = QString::number(www_port_);
  const Case cases[] = {
      {nullptr, [](ServiceDialog* d) { SetText(d, engine::kCtlMappingName, "Echo"); }, "E-10034",
       engine::kCtlMappingName},
      {nullptr, [&](ServiceDialog* d) { SetText(d, engine::kCtlPort, echo); }, "E-10006",
       engine::kCtlPort},
      {nullptr,
       [&](ServiceDialog* d) {
         qobject_cast<QCheckBox*>(d->Control(engine::kCtlActive))->setChecked(true);
         SetText(d, engine::kCtlPort, www);
       },
       "E-10007", engine::kCtlPort},
      {nullptr, [](ServiceDialog* d) { SetText(d, engine::kCtlPort, "x"); }, "E-10009",
       engine::kCtlPort},
      {nullptr,
       [](ServiceDialog* d) {
         SetText(d, engine::kCtlPort, "4000");
         qobject_cast<QCheckBox*>(d->Control(engine::kCtlTimeout))->setChecked(true);
         SetText(d, engine::kCtlSeconds, "0");
       },
       "E-10009", engine::kCtlSeconds},
      {nullptr,
       [](ServiceDialog* d) {
         qobject_cast<QCheckBox*>(d->Control(engine::kCtlActive))->setChecked(true);
         SetText(d, engine::kCtlPort, "4000");
       },
       "E-10008", engine::kCtlRemoteHost},
      {nullptr,
       [](ServiceDialog* d) {
         qobject_cast<QCheckBox*>(d->Control(engine::kCtlActive))->setChecked(true);
         SetText(d, engine::kCtlPort, "4000");
         SetText(d, engine::kCtlRemoteHost, "10.0.0.1");
       },
       "E-10009", engine::kCtlRemotePort},
      {"Telnet",
       [&](ServiceDialog* d) {
         qobject_cast<QCheckBox*>(d->Control(engine::kCtlActive))->setChecked(true);
         SetText(d, engine::kCtlPort, www);
       },
       "E-10007", engine::kCtlPort},
      {"SMTP", [](ServiceDialog* d) { SetText(d, engine::kCtlServer, ""); }, "E-10008",
       engine::kCtlServer},
      {"SMTP",
       [](ServiceDialog* d) {
         SetText(d, engine::kCtlServer, "mail.example");
         SetText(d, engine::kCtlServerPort, "-1");
       },
       "E-10009", engine::kCtlServerPort},
  };
  QTreeWidget* list = Tree("ctl1086");
  for (const Case& c : cases) {
    MessageRecorder messages;
    std::string shown;
    QWidget* focused = nullptr;
    QWidget* expected = nullptr;
    WhenOpen<ServiceDialog>([&](ServiceDialog* d) {
      c.fill(d);
      d->accept();
      EXPECT_TRUE(d->isVisible()) << "the dialog stays open";
      focused = d->focusWidget();
      expected = d->Control(c.focus);
    });
    if (c.service == nullptr) {
      QTest::mouseClick(Button("ctl1003"), Qt::LeftButton);
    } else {
      SelectRow(list, RowOf(list, c.service));
      QTest::mouseClick(Button("ctl1004"), Qt::LeftButton);
    }
    ASSERT_EQ(messages.texts().size(), 1u) << c.message;
    EXPECT_EQ(messages.texts()[0].substr(0, 7), c.message);
    EXPECT_NE(expected, nullptr) << c.message;
    EXPECT_EQ(focused, expected) << c.message;
  }
  EXPECT_EQ(list->topLevelItemCount(), 11) << "nothing was added";
}

TEST_F(ConsoleAdminTest, DenyRuleFromTheSecurityPageActsAtOnceAndItsDeleteLetsThrough) {
  ShowTab(PageKind::kSecurity);
  QTreeWidget* rules = Tree("ctlRules");
  ASSERT_NE(rules, nullptr);
  ASSERT_TRUE(Relays(echo_port_));
  WhenOpen<RuleDialog>([](RuleDialog* d) {
    d->findChild<QAbstractButton*>("rule6")->setChecked(true);  // "Mapping"
    d->findChild<QLineEdit*>("client")->setText("127.0.0.1");
    d->findChild<QCheckBox*>("allHosts")->setChecked(true);
    d->accept();
  });
  QTest::mouseClick(Button("secure"), Qt::LeftButton);
  ASSERT_EQ(rules->topLevelItemCount(), 1);
  EXPECT_EQ(rules->topLevelItem(0)->text(0), "Mapping");
  EXPECT_EQ(rules->topLevelItem(0)->text(1), "127.0.0.1");
  EXPECT_EQ(rules->topLevelItem(0)->text(2), "All");
  EXPECT_FALSE(Relays(echo_port_)) << "denied at once";

  MessageRecorder messages;
  WhenOpen<RuleDialog>([](RuleDialog* d) {
    d->findChild<QLineEdit*>("client")->setText("");
    d->accept();
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->focusWidget(), d->findChild<QLineEdit*>("client"));
  });
  QTest::mouseClick(Button("modify"), Qt::LeftButton);
  ASSERT_EQ(messages.texts().size(), 1u);
  EXPECT_EQ(messages.texts()[0], "E-10019: Please enter a client.");
  EXPECT_FALSE(Relays(echo_port_)) << "a cancelled modify keeps the rule";

  QTest::mouseClick(Button("delete"), Qt::LeftButton);
  EXPECT_EQ(rules->topLevelItemCount(), 0);
  EXPECT_FALSE(Button("modify")->isEnabled());
  EXPECT_TRUE(Relays(echo_port_)) << "passes once the rule is deleted";
}

TEST_F(ConsoleAdminTest, WhoMayUseTheGatewayIsChosenOnTheSecurityPageAndActsAtOnce) {
  ShowTab(PageKind::kSecurity);
  ConsoleWindow* w = console_->console();
  auto* lan = w->findChild<QAbstractButton*>("allowLan");
  auto* listed = w->findChild<QAbstractButton*>("allowListed");
  auto* addresses = w->findChild<QLineEdit*>("allowedAddresses");
  ASSERT_TRUE(lan && listed && addresses);
  EXPECT_TRUE(lan->isChecked()) << "a new store lets the LAN in";
  ASSERT_TRUE(Relays(echo_port_));

  listed->setChecked(true);
  addresses->setText("10.0.0.0/8");
  QTest::mouseClick(Button("applyAllowed"), Qt::LeftButton);
  EXPECT_EQ(engine::AllowedClientsText(), "10.0.0.0/8");
  EXPECT_FALSE(Relays(echo_port_)) << "loopback is outside 10/8: refused at once";

  MessageRecorder messages;
  addresses->setText("not an address");
  QTest::mouseClick(Button("applyAllowed"), Qt::LeftButton);
  ASSERT_EQ(messages.texts().size(), 1u);
  EXPECT_EQ(messages.texts()[0],
            "The address list cannot be read. Give addresses or address/prefix pairs separated "
            "by ';', for example 192.168.1.0/24;10.0.0.5.");
  EXPECT_EQ(engine::AllowedClientsText(), "10.0.0.0/8") << "nothing changed";

  lan->setChecked(true);
  QTest::mouseClick(Button("applyAllowed"), Qt::LeftButton);
  EXPECT_EQ(engine::AllowedClientsText(), "lan");
  EXPECT_TRUE(Relays(echo_port_));
}

TEST_F(ConsoleAdminTest, MasterPasswordSetChangedAndRemovedFromTheSecurityPageAndThePromptFollows) {
  ShowTab(PageKind::kSecurity);
  auto change = [&](const char* old_pw, const char* new_pw, const char* again, bool closes) {
    WhenOpen<ChangePasswordDialog>([=](ChangePasswordDialog* d) {
      EXPECT_EQ(d->windowTitle().toStdString(), "Change Wayfarer's Master Password");
      EXPECT_EQ(d->new_edit()->maxLength(), 31);
      d->old_edit()->setText(old_pw);
      d->new_edit()->setText(new_pw);
      d->again_edit()->setText(again);
      d->accept();
      EXPECT_EQ(d->isVisible(), !closes);
    });
    QTest::mouseClick(Button("changePassword"), Qt::LeftButton);
  };
  auto prompt_takes = [](const char* typed) {
    WhenOpen<PasswordPrompt>([=](PasswordPrompt* p) {
      // Room beside the title for the title bar's icon and buttons.
      EXPECT_GE(p->width(), p->fontMetrics().horizontalAdvance(p->windowTitle()) + 100);
      p->edit()->setText(typed);
      p->accept();
    });
    return PasswordGateOpens();
  };
  MessageRecorder messages;
  change("", "first", "first", true);
  EXPECT_TRUE(engine::MasterPasswordSet());
  EXPECT_TRUE(prompt_takes("first"));
  EXPECT_FALSE(prompt_takes("second"));
  change("wrong", "second", "second", false);
  change("first", "second", "Second", false);
  change("first", "second", "second", true);
  EXPECT_TRUE(prompt_takes("second"));
  change("second", "", "", true);
  EXPECT_FALSE(engine::MasterPasswordSet());
  EXPECT_TRUE(PasswordGateOpens()) << "no prompt once removed";
  const auto shown = messages.messages();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].caption, "Incorrect Password");
  EXPECT_EQ(shown[1].caption, "Old Password Mismatch");
  EXPECT_EQ(shown[2].caption, "New Passwords Mismatch");
}

}  // namespace
}  // namespace console

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
