// The console on a running engine in-process (private store, one TCP mapping "Echo" to a
// loopback echo server): the Connections lines following real sessions, Kill ending the
// selected pair's sessions, Exit answered No keeping everything running, and a second start
// on the same store opening the first one's console.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include "gateway/console/connections_page.h"
#include "gateway/console/console_app.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/session_registry.h"
#include "gateway/engine/settings_reload.h"
#include "gateway/engine/store_access.h"
#include "platform/socket.h"
#include "platform/testing/echo_server.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace console {
namespace {

using platform::Socket;
using platform::testing::Echoes;
using platform::testing::EchoServer;
using platform::testing::MessageRecorder;

bool ClosedByGateway(Socket c) {
  char byte;
  return platform::WaitReadable(c, 5000) == 1 && platform::Recv(c, &byte, 1) <= 0;
}

class ConsoleEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(engine::WriteDefaultConfiguration(), 0);
    for (int i = 0; i < 10; ++i) {
      platform::RegKey key;
      ASSERT_EQ(engine::OpenNumbered(engine::kKeyService, i, false, &key), 0);
      ASSERT_TRUE(engine::SetDword(key, "IsActive", 0));
    }
    Socket probe = platform::CreateSocket(SOCK_STREAM);
    ASSERT_EQ(platform::BindLoopback(probe, 0), 0);
    port_ = platform::LocalPort(probe);
    platform::CloseSocket(probe);
    engine::ServiceEntry m;
    m.ServiceType = "TCP Mapped Link";
    m.MappingName = "Echo";
    m.PortNum = port_;
    m.IsActive = 1;
    m.ListenCapacity = 8;
    m.DefaultHost = "127.0.0.1";
    m.DefaultHostPortNum = echo_.port();
    m.ProtocolType = 0;
    ASSERT_EQ(engine::CreateServiceEntry(10, m), 0);
    ASSERT_EQ(engine::WriteCurrentTab(1), 0);
  }
  void TearDown() override {
    for (Socket c : clients_) platform::CloseSocket(c);
  }

  // Starts the engine with the console of mode attached.
  void Start(Mode mode) {
    console_ = std::make_unique<ConsoleApp>(mode);
    engine::StartupHooks hooks;
    hooks.show_console = console_->ShowConsoleHook();
    app_ = std::make_unique<engine::GatewayApp>(hooks);
    ASSERT_EQ(app_->InitInstance(), engine::GatewayApp::Start::kRunning);
    console_->Attach(*app_);
  }
  void Stop() {
    if (app_) app_->Shutdown(false);
    app_.reset();
    console_.reset();
  }

  void ConnectClients(int n) {
    for (int i = 0; i < n; ++i) {
      Socket c = platform::CreateSocket(SOCK_STREAM);
      ASSERT_EQ(platform::Connect(c, "127.0.0.1", port_), 0);
      ASSERT_TRUE(Echoes(c));
      clients_.push_back(c);
    }
  }

  QListWidget* List() const {
    return console_->console() ? console_->console()->findChild<QListWidget*>("ctl1018") : nullptr;
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    if (QListWidget* list = List()) {
      for (int i = 0; i < list->count(); ++i) lines.push_back(list->item(i)->text().toStdString());
    }
    return lines;
  }
  bool WaitForLines(const std::vector<std::string>& expected) {
    return QTest::qWaitFor([&] { return Lines() == expected; }, 10000);
  }

  platform::testing::TempStore store_;
  EchoServer echo_;
  uint16_t port_ = 0;
  std::vector<Socket> clients_;
  std::unique_ptr<ConsoleApp> console_;
  std::unique_ptr<engine::GatewayApp> app_;
};

TEST_F(ConsoleEngineTest, ConnectionLinesCountRealSessionsUpAndDown) {
  Start(Mode::kTray);
  ASSERT_EQ(console_->console(), nullptr) << "tray mode opens no console by itself";
  console_->OpenConsole(true);
  ASSERT_NE(List(), nullptr);
  for (const char* count : {"1", "2", "3"}) {
    ConnectClients(1);
    EXPECT_TRUE(WaitForLines({std::string("\t") + count + "\tEcho\t127.0.0.1"})) << count;
  }
  for (const char* count : {"2", "1"}) {
    platform::CloseSocket(clients_.back());
    clients_.pop_back();
    EXPECT_TRUE(WaitForLines({std::string("\t") + count + "\tEcho\t127.0.0.1"})) << count;
  }
  platform::CloseSocket(clients_.back());
  clients_.pop_back();
  EXPECT_TRUE(WaitForLines({})) << "the last session's line goes";
  Stop();
}

// Bytes in both directions, refreshed while the sessions run; an ended session's bytes stay in
// its pair's total while the pair is listed.
TEST_F(ConsoleEngineTest, ConnectionLinesShowThePairsBytesSoFar) {
  Start(Mode::kTray);
  console_->OpenConsole(false);
  ConnectClients(2);  // "hello" each way on each: 20 bytes
  ASSERT_TRUE(WaitForLines({"\t2\tEcho\t127.0.0.1"}));
  auto bytes_shown = [this] {
    QListWidget* list = List();
    return list && list->count() == 1 ? list->item(0)->data(kConnectionBytesRole).toLongLong() : -1;
  };
  EXPECT_TRUE(QTest::qWaitFor([&] { return bytes_shown() == 20; }, 5000)) << bytes_shown();
  const std::string block(3000, 'b');
  ASSERT_EQ(platform::SendAll(clients_[0], block.data(), block.size()), 0);
  std::string back;
  char buf[4096];
  while (back.size() < block.size() && platform::WaitReadable(clients_[0], 5000) == 1) {
    const int n = platform::Recv(clients_[0], buf, sizeof buf);
    if (n <= 0) break;
    back.append(buf, static_cast<size_t>(n));
  }
  ASSERT_EQ(back, block);
  EXPECT_TRUE(QTest::qWaitFor([&] { return bytes_shown() == 6020; }, 5000)) << bytes_shown();
  platform::CloseSocket(clients_[0]);
  clients_.erase(clients_.begin());
  ASSERT_TRUE(WaitForLines({"\t1\tEcho\t127.0.0.1"}));
  QTest::qWait(2 * kConnectionRefreshMs);
  EXPECT_EQ(bytes_shown(), 6020) << "the ended session's bytes stay in the total";
  Stop();
}

// A reload from the store (SIGHUP) shows on the page that is open, as the console's own changes
// do: the Services page lists a mapping added to the store behind the console's back.
TEST_F(ConsoleEngineTest, ReloadedSettingsShowOnTheServicesPage) {
  ASSERT_EQ(engine::WriteCurrentTab(0), 0);
  Start(Mode::kTray);
  console_->OpenConsole(false);
  auto names = [this] {
    std::vector<std::string> shown;
    auto* list = console_->console()->findChild<QTreeWidget*>("ctl1086");
    for (int i = 0; list && i < list->topLevelItemCount(); ++i) {
      shown.push_back(list->topLevelItem(i)->text(0).toStdString());
    }
    return shown;
  };
  auto shows = [&names](const std::string& name) {
    const std::vector<std::string> shown = names();
    return std::find(shown.begin(), shown.end(), name) != shown.end();
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return shows("Echo"); }, 5000));
  engine::ServiceEntry added;
  added.ServiceType = "TCP Mapped Link";
  added.MappingName = "Added Later";
  added.PortNum = 0;
  added.IsActive = 0;
  added.ListenCapacity = 8;
  added.DefaultHost = "127.0.0.1";
  added.DefaultHostPortNum = echo_.port();
  ASSERT_EQ(engine::CreateServiceEntry(11, added), 0);
  EXPECT_FALSE(shows("Added Later"));
  (void)engine::ReloadEngineSettings();
  engine::NoteSettingsReloaded();
  EXPECT_TRUE(QTest::qWaitFor([&] { return shows("Added Later"); }, 5000))
      << ::testing::PrintToString(names());
  Stop();
}

TEST_F(ConsoleEngineTest, PageOpenedLateIsFilledFromTheRegistry) {
  Start(Mode::kTray);
  ConnectClients(2);
  ASSERT_TRUE(QTest::qWaitFor([] { return engine::CountSessions() == 1; }, 5000));
  console_->OpenConsole(false);
  EXPECT_TRUE(WaitForLines({"\t2\tEcho\t127.0.0.1"}));
  Stop();
}

TEST_F(ConsoleEngineTest, KillEndsTheSelectedPairsSessionsAndNothingWithoutSelection) {
  Start(Mode::kTray);
  console_->OpenConsole(false);
  ConnectClients(3);
  ASSERT_TRUE(WaitForLines({"\t3\tEcho\t127.0.0.1"}));
  auto* kill = console_->console()->findChild<QPushButton*>("ctl1097");
  ASSERT_NE(kill, nullptr);
  QTest::mouseClick(kill, Qt::LeftButton);
  QTest::qWait(100);
  for (Socket c : clients_) EXPECT_TRUE(Echoes(c)) << "no selection kills nothing";
  List()->setCurrentRow(0);
  QTest::mouseClick(kill, Qt::LeftButton);
  EXPECT_TRUE(WaitForLines({}));
  for (Socket c : clients_) EXPECT_TRUE(ClosedByGateway(c));
  Stop();
}

TEST_F(ConsoleEngineTest, KillLeavesNoSelectionSoASecondClickEndsNoOtherClient) {
  Start(Mode::kTray);
  console_->OpenConsole(false);
  ConnectClients(1);
  ASSERT_TRUE(WaitForLines({"\t1\tEcho\t127.0.0.1"}));
  // A second client, from another loopback address, gets a line of its own below.
  Socket other = platform::CreateSocket(SOCK_STREAM);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl(0x7F000002);
  ASSERT_EQ(bind(other, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
  ASSERT_EQ(platform::Connect(other, "127.0.0.1", port_), 0);
  ASSERT_TRUE(Echoes(other));
  clients_.push_back(other);
  ASSERT_TRUE(WaitForLines({"\t1\tEcho\t127.0.0.1", "\t1\tEcho\t127.0.0.2"}));
  auto* kill = console_->console()->findChild<QPushButton*>("ctl1097");
  ASSERT_NE(kill, nullptr);
  List()->setCurrentRow(0);
  QTest::mouseClick(kill, Qt::LeftButton);
  ASSERT_TRUE(WaitForLines({"\t1\tEcho\t127.0.0.2"}));
  EXPECT_TRUE(ClosedByGateway(clients_[0]));
  EXPECT_TRUE(List()->selectedItems().isEmpty());
  QTest::mouseClick(kill, Qt::LeftButton);
  QTest::qWait(200);
  EXPECT_TRUE(Echoes(other)) << "the second click ended another client's session";
  EXPECT_EQ(Lines(), std::vector<std::string>{"\t1\tEcho\t127.0.0.2"});
  Stop();
}

TEST_F(ConsoleEngineTest, ClosingTheMainWindowWithLiveSessionsAndNoKeepsEverythingRunning) {
  Start(Mode::kDialog);
  ASSERT_NE(console_->console(), nullptr) << "dialog mode opens the console as main window";
  ConnectClients(1);
  ASSERT_TRUE(WaitForLines({"\t1\tEcho\t127.0.0.1"}));
  {
    MessageRecorder no(platform::kIdNo);
    EXPECT_FALSE(console_->console()->close());
    ASSERT_EQ(no.texts().size(), 1u);
    EXPECT_EQ(no.texts()[0], "1 active client session(s). Close anyway?");
    EXPECT_EQ(no.messages()[0].caption, "Wayfarer");
  }
  ASSERT_NE(console_->console(), nullptr);
  EXPECT_TRUE(console_->console()->isVisible());
  EXPECT_TRUE(Echoes(clients_[0]));
  EXPECT_EQ(engine::Services().size(), 11u);
  {
    MessageRecorder yes(platform::kIdYes);
    QPointer<ConsoleWindow> window = console_->console();
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
  }
  EXPECT_TRUE(ClosedByGateway(clients_[0])) << "Yes ran the shut-down";
  EXPECT_EQ(engine::Services().size(), 0u);
  Stop();
}

TEST_F(ConsoleEngineTest, TrayExitAnsweredNoKeepsTheTrayAndTheSessions) {
  Start(Mode::kTray);
  ConnectClients(2);
  ASSERT_TRUE(QTest::qWaitFor([] { return engine::CountSessions() == 1; }, 5000));
  {
    MessageRecorder no(platform::kIdNo);
    EXPECT_FALSE(console_->ExitProgram());
    EXPECT_EQ(no.texts().size(), 1u);
  }
  EXPECT_TRUE(console_->tray()->icon()->isVisible());
  for (Socket c : clients_) EXPECT_TRUE(Echoes(c));
  MessageRecorder yes(platform::kIdYes);
  EXPECT_TRUE(console_->ExitProgram());
  EXPECT_FALSE(console_->tray()->icon()->isVisible());
  for (Socket c : clients_) EXPECT_TRUE(ClosedByGateway(c));
  Stop();
}

TEST_F(ConsoleEngineTest, SecondStartOnTheSameStoreOpensTheFirstsConsole) {
  Start(Mode::kTray);
  ASSERT_EQ(console_->console(), nullptr);
  engine::GatewayApp second({});
  EXPECT_EQ(second.InitInstance(), engine::GatewayApp::Start::kAlreadyRunning);
  EXPECT_TRUE(QTest::qWaitFor([&] { return console_->console() != nullptr; }, 5000));
  EXPECT_EQ(console_->console()->windowTitle().toStdString(), "Wayfarer");
  Stop();
}

}  // namespace
}  // namespace console

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
