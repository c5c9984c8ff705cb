// Writes a screenshot of each console page and dialog into the build's screenshots folder:
// console_services.png, console_connections.png, console_security.png, console_about.png, the
// service dialogs (console_modify_service.png, console_modify_server.png,
// console_new_mapping.png, console_modify_dns.png), console_rule.png,
// console_change_password.png, console_password.png, console_tray_menu.png,
// console_exit_question.png and console_icons.png (the icon strip, enlarged); and
// console_cache.png, console_cache_exception.png and console_dial.png.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include "gateway/console/cache_dial_pages.h"
#include "gateway/console/cache_exception_dialog.h"
#include "gateway/console/change_password_dialog.h"
#include "gateway/console/console_window.h"
#include "gateway/console/icon_list.h"
#include "gateway/console/password_prompt.h"
#include "gateway/console/qt_message_sink.h"
#include "gateway/console/rule_dialog.h"
#include "gateway/console/service_dialog.h"
#include "gateway/console/tray_window.h"
#include "gateway/dialer/dial_by_hand.h"
#include "gateway/dialer/dialer_link.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/control_thread.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/password_scramble.h"
#include "gateway/engine/security_page.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/settings_records.h"
#include "gateway/web/cache_exception_edit.h"
#include "gateway/web/cache_page_rules.h"
#include "platform/dialup_simulated.h"
#include "platform/registry.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace console {
namespace {

bool Save(QWidget* widget, const char* name) {
  QDir().mkpath(WAYFARER_SCREENSHOT_DIR);
  widget->show();
  QTest::qWait(20);
  return widget->grab().save(QString(WAYFARER_SCREENSHOT_DIR "/") + name);
}

// Two mappings beside the default services, SMTP switched on, and three deny rules.
void AddAdministeredSettings() {
  const char* mappings[][3] = {{"Intranet", "8080", "10.0.0.9"}, {"Printer", "9100", "10.0.0.7"}};
  int n = 10;
  for (const auto& m : mappings) {
    engine::ServiceEntry e;
    e.ServiceType = engine::kTcpMappedLinkType;
    e.MappingName = m[0];
    e.PortNum = std::atoi(m[1]);
    e.IsActive = n == 10 ? 1 : 0;
    e.DefaultHost = m[2];
    e.DefaultHostPortNum = 80;
    e.ProtocolType = 0;
    ASSERT_EQ(engine::CreateServiceEntry(n++, e), 0);
  }
  ASSERT_EQ(engine::Services().Load(), 0);
  engine::ServiceEntry smtp = engine::Services().Snapshot()[6];
  smtp.IsActive = 1;
  smtp.DefaultHost = "mail.example.net";
  ASSERT_EQ(engine::Services().Update(smtp.PortNum, smtp.ServiceType, smtp), 0);
  const engine::RuleRecord rules[] = {{2, "192.168.0.40", "All", ""},
                                      {1, "All", "All", "games;chat"},
                                      {0, "192.168.0.66", "All", ""}};
  for (const auto& rule : rules) ASSERT_GE(engine::SecureRule(rule), 0);
}

void SaveDialogs() {
  const std::vector<engine::ServiceEntry> services = engine::Services().Snapshot();
  const std::pair<size_t, const char*> shots[] = {{0, "console_modify_service.png"},
                                                  {6, "console_modify_server.png"},
                                                  {9, "console_modify_dns.png"}};
  for (const auto& [row, file] : shots) {
    const engine::ServiceEntry& e = services[row];
    ServiceDialog dialog(engine::DialogKindFor(e.ServiceType), false, e.ServiceType,
                         engine::ServiceDialogInputFor(e));
    EXPECT_TRUE(Save(&dialog, file));
  }
  engine::ServiceDialogInput typed;
  typed.active = true;
  typed.port = 8081;
  typed.seconds = engine::kNewMappingSeconds;
  typed.server = "intranet.example";
  typed.server_port = 80;
  typed.mapping_name = "Intranet web";
  ServiceDialog mapping(engine::ServiceDialogKind::kMapping, true, engine::kTcpMappedLinkType,
                        typed);
  EXPECT_TRUE(Save(&mapping, "console_new_mapping.png"));
  engine::RuleRecord rule{1, "All", "All", "games;chat"};
  RuleDialog rule_dialog(engine::DialogInputFor(rule));
  EXPECT_TRUE(Save(&rule_dialog, "console_rule.png"));
  ChangePasswordDialog change;
  EXPECT_TRUE(Save(&change, "console_change_password.png"));
}

TEST(ConsoleScreenshots, EveryPageAndDialog) {
  platform::testing::TempStore store;
  ASSERT_EQ(engine::WriteDefaultConfiguration(), 0);
  ASSERT_EQ(engine::WriteCurrentTab(1), 0);
  AddAdministeredSettings();
  const IconList icons = IconList::Load(WAYFARER_BIN_DIR "/WayfarerIcons.png");
  ASSERT_FALSE(icons.empty());
  ConsoleOptions options;
  options.icons = icons;
  ConsoleWindow window(options);
  window.setAttribute(Qt::WA_DeleteOnClose, false);
  const std::pair<const char*, int> sessions[] = {{"192.168.0.12", 3}, {"192.168.0.40", 1}};
  for (const auto& [client, count] : sessions) {
    auto* notice = new engine::SessionNotice{client, engine::kCodeWww, count, "WWW"};
    window.OnEngineMessage({0, engine::kMsgSessionAdded, 0, reinterpret_cast<intptr_t>(notice)});
  }
  auto* mail = new engine::SessionNotice{"192.168.0.12", engine::kCodePop3, 1, "POP3"};
  window.OnEngineMessage({0, engine::kMsgSessionAdded, 0, reinterpret_cast<intptr_t>(mail)});
  EXPECT_TRUE(Save(&window, "console_connections.png"));
  window.tabs()->setCurrentIndex(window.TabIndexOf(PageKind::kServices));
  EXPECT_TRUE(Save(&window, "console_services.png"));
  window.tabs()->setCurrentIndex(window.TabIndexOf(PageKind::kSecurity));
  EXPECT_TRUE(Save(&window, "console_security.png"));
  window.tabs()->setCurrentIndex(window.TabIndexOf(PageKind::kAbout));
  EXPECT_TRUE(Save(&window, "console_about.png"));
  SaveDialogs();

  PasswordPrompt prompt;
  prompt.edit()->setText("secret");
  EXPECT_TRUE(Save(&prompt, "console_password.png"));
  prompt.hide();

  TrayWindow tray(icons.At(kProgramIcon), {[] {}, [] {}, [] { return false; }});
  EXPECT_TRUE(Save(tray.menu(), "console_tray_menu.png"));
  tray.menu()->hide();

  auto* poll = new QTimer(&window);
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [poll] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    poll->stop();
    EXPECT_TRUE(box->grab().save(WAYFARER_SCREENSHOT_DIR "/console_exit_question.png"));
    box->button(QMessageBox::No)->click();
  });
  poll->start();
  EXPECT_EQ(ShowMessageBox("Wayfarer", "2 active client session(s). Close anyway?",
                           platform::MessageIcon::kQuestion, platform::MessageButtons::kYesNo),
            platform::kIdNo);

  QLabel strip;
  strip.setPixmap(QPixmap(WAYFARER_BIN_DIR "/WayfarerIcons.png").scaled(21 * 48, 48));
  EXPECT_TRUE(Save(&strip, "console_icons.png"));
}

// The Cache page with a few exceptions, its exception dialog, and the Dial page connected
// through the simulated facility.
TEST(ConsoleScreenshots, CacheAndDialPages) {
  platform::testing::TempStore store;
  platform::testing::MessageRecorder answers;
  ASSERT_EQ(engine::WriteDefaultConfiguration(), 0);
  RegisterCacheAndDialPages();
  web::CacheForm form{true, true, "50", "/var/cache/wayfarer", "3", web::kTtlDays};
  ASSERT_EQ(web::SaveCacheForm(form), 0);
  ASSERT_EQ(web::PutCacheException("news.example.com", 0, web::kTtlHours), 0);
  ASSERT_EQ(web::PutCacheException("www.example.com:8080", 12, web::kTtlHours), 0);
  ASSERT_EQ(web::PutCacheException("static.example.org", 2, web::kTtlWeeks), 0);
  for (const char* entry : {"Office ISP", "Backup line"}) {
    platform::RegKey key;
    ASSERT_EQ(platform::RegCreateKey(platform::Hive::kLocalMachine,
                                     platform::SimulatorEntriesKeyPath() + "\\" + entry, &key),
              0);
  }
  std::string password = "secret";
  engine::ScramblePassword(1, &password);
  ASSERT_EQ(engine::SaveProfileCredentials("Office ISP", "office", password, "WORK"), 0);
  engine::DiallerSettings dialler{1, 2, 1, 10, "", "", "", "Office ISP"};
  ASSERT_EQ(engine::SaveDiallerSettings(dialler), 0);
  engine::ControlThread control;
  ASSERT_TRUE(control.Start());
  dialer::InstallDialer(control, std::make_unique<platform::SimulatedDialup>(), [] { return 0; });
  std::string status;
  ASSERT_EQ(dialer::DialByHand("Office ISP", &status), 0);
  ASSERT_TRUE(QTest::qWaitFor([] { return dialer::DialStatusLine().rfind("Connected", 0) == 0; }));

  ConsoleOptions options;
  options.dial_bound = true;
  options.icons = IconList::Load(WAYFARER_BIN_DIR "/WayfarerIcons.png");
  {
    ConsoleWindow window(options);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.tabs()->setCurrentIndex(window.TabIndexOf(PageKind::kCache));
    EXPECT_TRUE(Save(&window, "console_cache.png"));
    CacheExceptionDialog dialog("www.example.com:8080", 12, "Hours", &window);
    EXPECT_TRUE(Save(&dialog, "console_cache_exception.png"));
    dialog.hide();
    window.tabs()->setCurrentIndex(window.TabIndexOf(PageKind::kDial));
    QTest::qWait(600);  // one status refresh
    EXPECT_TRUE(Save(&window, "console_dial.png"));
  }
  (void)dialer::StopByHand(0);
  dialer::UninstallDialer();
  control.Stop();
  RegisterPage(PageKind::kCache, nullptr);
  RegisterPage(PageKind::kDial, nullptr);
}

}  // namespace
}  // namespace console

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
