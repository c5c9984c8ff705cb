// The Dial page on a running engine with the simulated dial-up facility and a private store:
// Dial by hand showing each step of the status line, Stop without a redial, a session's dial
// on demand watched on the page through to the idle hang-up, and a failing entry ending after
// its redials. The dialler's clock is sped up per test; the simulated line keeps real time.
#include "gateway/console/dial_page.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "gateway/console/page_test_support.h"
#include "gateway/dialer/dial_by_hand.h"
#include "gateway/dialer/dialer_clock.h"
#include "gateway/dialer/dialer_link.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/session_registry.h"
#include "gateway/engine/settings_records.h"
#include "gateway/engine/store_access.h"
#include "platform/dialup_simulated.h"
#include "platform/registry.h"
#include "platform/testing/echo_server.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace console {
namespace {

using platform::testing::MessageRecorder;

constexpr char kConnected[] = "Connected to Provider at IP - 10.0.0.1 from IP -  10.0.0.2";
constexpr char kE10026[] = "Wayfarer v2.0 E-10026: Could not connect to server.\r\n";

class CountingFacility : public platform::SimulatedDialup {
 public:
  long Dial(const platform::DialParams& params, platform::TargetId notify,
            platform::DialHandle* handle) override {
    ++dials;
    return SimulatedDialup::Dial(params, notify, handle);
  }
  std::atomic<int> dials{0};
};

class DialPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(engine::WriteDefaultConfiguration(), 0);
    for (int i = 0; i < 10; ++i) {
      platform::RegKey key;
      ASSERT_EQ(engine::OpenNumbered(engine::kKeyService, i, false, &key), 0);
      ASSERT_TRUE(engine::SetDword(key, "IsActive", 0));
    }
    port_ = testing::FreePort();
    engine::ServiceEntry m;
    m.ServiceType = "TCP Mapped Link";
    m.MappingName = "Echo";
    m.PortNum = port_;
    m.IsActive = 1;
    m.ListenCapacity = 8;
    m.DefaultHost = "127.0.0.1";
    m.DefaultHostPortNum = echo_.port();
    ASSERT_EQ(engine::CreateServiceEntry(10, m), 0);
    platform::RegKey key;
    ASSERT_EQ(platform::RegCreateKey(platform::Hive::kLocalMachine, platform::RemoteAccessKeyPath(),
                                     &key),
              0);
    ASSERT_EQ(platform::RegSetString(key, "Provider", "simulated"), 0);
  }
  void TearDown() override {
    unanswered_.reset();
    MessageRecorder quiet;  // a failed check may leave values the page's save would refuse
    gateway_.reset();
    dialer::SetDialerTimeScale(1);
  }

  void Entry(unsigned delay_ms, unsigned result = 0) {
    platform::RegKey key;
    ASSERT_EQ(platform::RegCreateKey(platform::Hive::kLocalMachine,
                                     platform::SimulatorEntriesKeyPath() + "\\Provider", &key),
              0);
    ASSERT_EQ(platform::RegSetDword(key, "DelayMs", delay_ms), 0);
    ASSERT_EQ(platform::RegSetDword(key, "Result", result), 0);
  }
  void Settings(int dial_on_demand, int retires, int auto_disconnect, int minutes) {
    engine::DiallerSettings s;
    s.DialOnDemand = dial_on_demand;
    s.Retires = retires;
    s.AutoDisconnect = auto_disconnect;
    s.Minutes = minutes;
    s.Profile = "Provider";
    ASSERT_EQ(engine::SaveDiallerSettings(s), 0);
  }
  // With a time scale the dialler runs on a counting facility; 0: the program's own start-up
  // step binds the facility and takes the scale from the simulator's key.
  void Start(int time_scale) {
    ASSERT_EQ(engine::WriteCurrentTab(1), 0);
    testing::RunningGateway::DialerMaker maker;
    if (time_scale > 0) {
      dialer::SetDialerTimeScale(time_scale);
      maker = [this](engine::ControlThread& control) {
        auto facility = std::make_unique<CountingFacility>();
        facility_ = facility.get();
        dialer::InstallDialer(control, std::move(facility), [] { return engine::CountSessions(); });
      };
    }
    gateway_ = std::make_unique<testing::RunningGateway>(maker);
    ASSERT_TRUE(gateway_->started());
    // No message box may wait for an answer nobody gives; the tests' own recorders nest.
    unanswered_ = std::make_unique<MessageRecorder>();
    page_ = dynamic_cast<DialPage*>(gateway_->Show(PageKind::kDial));
    ASSERT_NE(page_, nullptr);
  }
  std::string Status() const { return page_->findChild<QLabel*>("ctl1017")->text().toStdString(); }
  // The distinct status texts shown until one equals last (or 15 s pass).
  std::vector<std::string> StatusesUntil(const std::string& last) {
    std::vector<std::string> seen;
    (void)QTest::qWaitFor(
        [&] {
          if (seen.empty() || seen.back() != Status()) seen.push_back(Status());
          return seen.back() == last;
        },
        15000);
    return seen;
  }
  void Click(const char* id) {
    QTest::mouseClick(page_->findChild<QPushButton*>(id), Qt::LeftButton);
  }

  platform::testing::TempStore store_;
  platform::testing::EchoServer echo_;
  uint16_t port_ = 0;
  std::unique_ptr<testing::RunningGateway> gateway_;
  std::unique_ptr<MessageRecorder> unanswered_;
  CountingFacility* facility_ = nullptr;
  DialPage* page_ = nullptr;
};

bool IsSubsequence(const std::vector<std::string>& wanted, const std::vector<std::string>& seen) {
  size_t at = 0;
  for (const std::string& s : seen) {
    if (at < wanted.size() && s == wanted[at]) ++at;
  }
  return at == wanted.size();
}

TEST_F(DialPageTest, DialShowsEachStepAndStopHangsUpWithoutARedial) {
  Entry(3000);
  Settings(0, 3, 0, 0);
  Start(10);
  ASSERT_EQ(page_->findChild<QListWidget*>("ctl1074")->count(), 1);
  EXPECT_EQ(page_->findChild<QGroupBox*>("ctl1094")->title(), "Authentication for Provider");
  EXPECT_EQ(Status(), dialer::kOffline);
  Click("ctl1010");
  EXPECT_EQ(Status(), "modemSimulated modem");
  const auto seen = StatusesUntil(kConnected);
  EXPECT_TRUE(IsSubsequence(
      {"Establishing connection to Provider...", "Sending authentication information...",
       "Authentication completed...", kConnected},
      seen))
      << ::testing::PrintToString(seen);
  {
    MessageRecorder recorder;
    Click("ctl1010");
    EXPECT_EQ(recorder.texts(), std::vector<std::string>{dialer::kE10027});
  }
  Click("ctl1009");
  EXPECT_TRUE(QTest::qWaitFor([&] { return Status() == dialer::kOffline; }, 2000));
  QTest::qWait(1000);  // five redial pauses on this clock
  EXPECT_EQ(Status(), dialer::kOffline);
  EXPECT_EQ(facility_->dials.load(), 1) << "a hang-up by hand is not redialled";
}

TEST_F(DialPageTest, ADialOnDemandDayIsWatchedOnThePageToTheIdleHangUp) {
  Entry(3000);  // each step lasts a second: longer than a status refresh
  Settings(1, 0, 1, 1);
  platform::RegKey key;
  ASSERT_EQ(platform::RegCreateKey(platform::Hive::kLocalMachine,
                                   platform::RemoteAccessKeyPath() + "\\Simulator", &key),
            0);
  ASSERT_EQ(platform::RegSetDword(key, "TimeScale", 20), 0);  // a minute is 3 s
  Start(0);
  EXPECT_EQ(dialer::DialerPeriodMs(60000), 3000);
  platform::Socket client = platform::CreateSocket(SOCK_STREAM);
  ASSERT_EQ(platform::Connect(client, "127.0.0.1", port_), 0);
  const auto dialling = StatusesUntil(kConnected);
  EXPECT_TRUE(IsSubsequence({"Establishing connection to Provider...", kConnected}, dialling))
      << ::testing::PrintToString(dialling);
  EXPECT_TRUE(platform::testing::Echoes(client)) << "the session went ahead on the new link";
  platform::CloseSocket(client);
  EXPECT_TRUE(QTest::qWaitFor([] { return engine::CountSessions() == 0; }, 5000));
  const auto idle = StatusesUntil(dialer::kOffline);
  EXPECT_EQ(idle.back(), dialer::kOffline) << "idle for the set minute: hung up";
}

TEST_F(DialPageTest, AFailingEntryEndsOfflineAfterItsRedials) {
  Entry(300, 678);
  Settings(1, 2, 0, 0);
  Start(20);
  platform::Socket client = platform::CreateSocket(SOCK_STREAM);
  ASSERT_EQ(platform::Connect(client, "127.0.0.1", port_), 0);
  std::string got;
  char buf[256];
  while (platform::WaitReadable(client, 15000) == 1) {
    int n = platform::Recv(client, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  platform::CloseSocket(client);
  EXPECT_EQ(got, kE10026) << "the session's failure text";
  EXPECT_EQ(facility_->dials.load(), 3) << "the dial and its two redials";
  EXPECT_TRUE(QTest::qWaitFor([&] { return Status() == dialer::kOffline; }, 2000));
}

TEST_F(DialPageTest, DisconnectWithZeroMinutesBecomesOneAndZeroIsRefused) {
  Entry(0);
  Settings(0, 0, 0, 0);
  Start(1);
  page_->findChild<QCheckBox*>("ctl1002")->click();
  auto* minutes = page_->findChild<QLineEdit*>("ctl1003");
  EXPECT_EQ(minutes->text(), "1");
  engine::DiallerSettings stored;
  ASSERT_EQ(engine::LoadDiallerSettings(&stored), 0);
  EXPECT_EQ(stored.AutoDisconnect, 1);
  EXPECT_EQ(stored.Minutes, 1);
  minutes->setText("0");
  MessageRecorder recorder;
  Click("ctl1065");
  EXPECT_EQ(recorder.texts(),
            std::vector<std::string>{"E-10023: Please enter a value greater than zero."});
  ASSERT_EQ(engine::LoadDiallerSettings(&stored), 0);
  EXPECT_EQ(stored.Minutes, 1) << "nothing written";
}

}  // namespace
}  // namespace console

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
