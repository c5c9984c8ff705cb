// The console's widgets driven offscreen on a private store: the tab list and the CurrentTab
// rule, pages living only while their tab is selected, the Connections lines following posted
// notices, the About page's browser fallback, the message boxes' caption, the password gate,
// the tray menu and the icon strip.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <thread>

#include "gateway/console/about_page.h"
#include "gateway/console/connections_page.h"
#include "gateway/console/console_bridge.h"
#include "gateway/console/console_window.h"
#include "gateway/console/icon_list.h"
#include "gateway/console/password_prompt.h"
#include "gateway/console/qt_message_sink.h"
#include "gateway/console/tray_window.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/master_password.h"
#include "gateway/engine/service_catalogue.h"
#include "platform/os_info.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace console {
namespace {

using platform::testing::MessageRecorder;
using platform::testing::TempStore;

// A page of a later area, standing in only to show how such a page joins the tab control.
class MarkerPage : public ConsolePage {
 public:
  explicit MarkerPage(QWidget* parent) : ConsolePage(parent) {}
  void ShowCacheActivity(bool on) override { activity = on; }
  bool activity = false;
};

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(engine::WriteDefaultConfiguration(), 0); }
  void TearDown() override {
    RegisterPage(PageKind::kSecurity, nullptr);
    RegisterPage(PageKind::kCache, nullptr);
  }
  std::unique_ptr<ConsoleWindow> Open(bool dial_bound, platform::TargetId target = 0) {
    ConsoleOptions options;
    options.dial_bound = dial_bound;
    options.notice_target = target;
    auto window = std::make_unique<ConsoleWindow>(std::move(options));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
    return window;
  }
  static std::string Label(QTabBar* tabs, int i) { return tabs->tabText(i).toStdString(); }

  TempStore store_;
};

TEST_F(ConsoleTest, TabsFollowThePartsOrderWithDialOnlyWhenBound) {
  auto without = Open(false);
  QTabBar* tabs = without->tabs();
  ASSERT_EQ(tabs->count(), 5);
  const char* five[] = {"Services", "Connections", "Security", "Cache", "About"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Label(tabs, i), five[i]);
  EXPECT_EQ(without->windowTitle().toStdString(), "Wayfarer");
  EXPECT_EQ(without->minimumSize(), without->maximumSize()) << "no resizing";
  without.reset();
  auto with = Open(true);
  ASSERT_EQ(with->tabs()->count(), 6);
  EXPECT_EQ(Label(with->tabs(), 3), " Dial");
}

TEST_F(ConsoleTest, StoredTabIsClampedAndPagesNotInThisBuildAreHiddenButCounted) {
  struct Case {
    int stored;
    bool dial;
    PageKind expected;
  };
  const Case cases[] = {
      {5, false, PageKind::kAbout}, {6, false, PageKind::kAbout}, {99, true, PageKind::kAbout},
      {1, false, PageKind::kConnections}, {0, false, PageKind::kServices},
      {2, false, PageKind::kSecurity},    {-3, false, PageKind::kServices},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(engine::WriteCurrentTab(c.stored), 0);
    auto window = Open(c.dial);
    EXPECT_EQ(window->current_kind(), c.expected) << "stored " << c.stored;
    EXPECT_TRUE(window->tabs()->isTabVisible(0));
  }
  // A page not in this build is hidden, and its stored index goes to the next shown tab.
  ASSERT_EQ(engine::WriteCurrentTab(3), 0);
  auto hidden = Open(false);
  if (!HasPage(PageKind::kCache)) {
    EXPECT_FALSE(hidden->tabs()->isTabVisible(3));
    EXPECT_EQ(hidden->current_kind(), PageKind::kAbout);
  }
  hidden.reset();
  RegisterPage(PageKind::kCache, [](QWidget* p) { return new MarkerPage(p); });
  auto window = Open(false);
  EXPECT_TRUE(window->tabs()->isTabVisible(3));
  EXPECT_EQ(window->current_kind(), PageKind::kCache) << "a page that lands takes its index";
}

TEST_F(ConsoleTest, CurrentTabRoundTripsThroughClose) {
  ASSERT_EQ(engine::WriteCurrentTab(1), 0);
  auto window = Open(false);
  window->tabs()->setCurrentIndex(window->TabIndexOf(PageKind::kAbout));
  window->close();
  int stored = -1;
  ASSERT_EQ(engine::ReadCurrentTab(&stored), 0);
  EXPECT_EQ(stored, 4);
  auto again = Open(false);
  EXPECT_EQ(again->current_kind(), PageKind::kAbout);
}

TEST_F(ConsoleTest, APageLivesOnlyWhileItsTabIsSelected) {
  ASSERT_EQ(engine::WriteCurrentTab(1), 0);
  auto window = Open(false);
  QPointer<ConsolePage> connections = window->page();
  ASSERT_NE(qobject_cast<QWidget*>(connections.data()), nullptr);
  ASSERT_NE(window->findChild<QListWidget*>("ctl1018"), nullptr);
  window->tabs()->setCurrentIndex(window->TabIndexOf(PageKind::kAbout));
  EXPECT_TRUE(connections.isNull()) << "the page left was destroyed";
  EXPECT_EQ(window->findChild<QListWidget*>("ctl1018"), nullptr);
  EXPECT_NE(window->findChild<QPushButton*>("ctl1099"), nullptr);
}

engine::SessionNotice* Notice(const char* client, const char* service, int count) {
  return new engine::SessionNotice{client, engine::kCodeWww, count, service};
}

std::vector<std::string> Lines(ConsoleWindow& window) {
  std::vector<std::string> lines;
  auto* list = window.findChild<QListWidget*>("ctl1018");
  if (list == nullptr) return lines;
  for (int i = 0; i < list->count(); ++i) lines.push_back(list->item(i)->text().toStdString());
  return lines;
}

// Notices are posted from another thread to the bridge's target, as sessions post them.
TEST_F(ConsoleTest, ConnectionLinesFollowPostedNoticesInPlace) {
  std::unique_ptr<ConsoleWindow> window;
  ConsoleBridge bridge([&](const platform::Message& m) {
    if (window) window->OnEngineMessage(m); else FreeNoticeOf(m);
  });
  ASSERT_EQ(engine::WriteCurrentTab(1), 0);
  window = Open(false, bridge.target());
  const platform::TargetId target = bridge.target();
  auto post = [target](bool add, engine::SessionNotice* n) {
    std::thread([=] {
      platform::PostMessage(target, add ? engine::kMsgSessionAdded : engine::kMsgSessionRemoved,
                            0, reinterpret_cast<platform::Lparam>(n));
    }).join();
  };
  auto wait_for = [&](const std::vector<std::string>& expected) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return Lines(*window) == expected; }, 5000))
        << ::testing::PrintToString(Lines(*window));
  };
  post(true, Notice("10.0.0.1", "WWW", 1));
  post(true, Notice("10.0.0.2", "FTP", 1));
  wait_for({"\t1\tWWW\t10.0.0.1", "\t1\tFTP\t10.0.0.2"});
  post(true, Notice("10.0.0.1", "WWW", 2));
  post(true, Notice("10.0.0.1", "WWW", 3));
  wait_for({"\t3\tWWW\t10.0.0.1", "\t1\tFTP\t10.0.0.2"});
  post(false, Notice("10.0.0.1", "WWW", 2));
  post(false, Notice("10.0.0.1", "WWW", 1));
  wait_for({"\t1\tWWW\t10.0.0.1", "\t1\tFTP\t10.0.0.2"});
  post(false, Notice("10.0.0.1", "WWW", 0));
  wait_for({"\t1\tFTP\t10.0.0.2"});
  // A notice that was queued before the page filled itself corrects the line, never doubles it.
  post(true, Notice("10.0.0.2", "FTP", 2));
  post(true, Notice("10.0.0.2", "FTP", 2));
  wait_for({"\t2\tFTP\t10.0.0.2"});
  window.reset();
}

TEST_F(ConsoleTest, ConnectionLinesSplitOnlyWhenWellFormed) {
  EXPECT_EQ(ConnectionLine(12, "TCP Mapped Link", "192.168.1.5"),
            "\t12\tTCP Mapped Link\t192.168.1.5");
  struct Case {
    const char* line;
    bool ok;
  };
  const Case cases[] = {{"\t2\tWWW\t10.0.0.1", true}, {"", false},
                        {"\t\tWWW\t10.0.0.1", false},  {"2\tWWW\t10.0.0.1", false},
                        {"\t2\tWWW", false},           {"\t9999999999\tWWW\tx", false},
                        {"\t-1\tWWW\tx", false}};
  for (const Case& c : cases) {
    int count = 0;
    std::string service, client;
    EXPECT_EQ(SplitConnectionLine(c.line, &count, &service, &client), c.ok) << c.line;
  }
  int count = 0;
  std::string service, client;
  ASSERT_TRUE(SplitConnectionLine("\t2\tTCP Mapped Link\t10.0.0.1", &count, &service, &client));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(service, "TCP Mapped Link");
  EXPECT_EQ(client, "10.0.0.1");
}

TEST_F(ConsoleTest, ByteCountsReadAsBytesThenBinaryUnits) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "0 B"},          {9999, "9999 B"},      {10000, "9.8 KB"},       {1048575, "1024.0 KB"},
      {1048576, "1.0 MB"}, {5LL << 30, "5.0 GB"}, {3LL << 50, "3072.0 TB"}};
  for (const auto& [bytes, text] : cases) EXPECT_EQ(ByteCountText(bytes), text) << bytes;
}

TEST_F(ConsoleTest, CacheActivityDisablesTheCachePageWhileAPurgeRuns) {
  MarkerPage* cache = nullptr;
  RegisterPage(PageKind::kCache, [&](QWidget* p) { return cache = new MarkerPage(p); });
  ASSERT_EQ(engine::WriteCurrentTab(3), 0);
  auto window = Open(false);
  ASSERT_EQ(window->current_kind(), PageKind::kCache);
  ASSERT_NE(cache, nullptr);
  window->OnEngineMessage({0, engine::kMsgPurgeNotice, 0, 1});
  EXPECT_TRUE(cache->activity);
  EXPECT_FALSE(cache->isEnabled());
  window->OnEngineMessage({0, engine::kMsgPurgeNotice, 0, 0});
  EXPECT_FALSE(cache->activity);
  EXPECT_TRUE(cache->isEnabled());
  SetPurgeRunningProbe([] { return true; });
  window->tabs()->setCurrentIndex(window->TabIndexOf(PageKind::kAbout));
  window->tabs()->setCurrentIndex(window->TabIndexOf(PageKind::kCache));
  EXPECT_FALSE(cache->isEnabled()) << "a purge already running disables the new page";
  SetPurgeRunningProbe({});
}

// The browser is whatever xdg-open PATH offers; a recording script stands in for it.
class AboutTest : public ConsoleTest {
 protected:
  void SetUp() override {
    ConsoleTest::SetUp();
    old_path_ = getenv("PATH") ? getenv("PATH") : "";
    bin_ = store_.dir() + "/bin";
    std::filesystem::create_directories(bin_);
  }
  void TearDown() override {
    setenv("PATH", old_path_.c_str(), 1);
    ConsoleTest::TearDown();
  }
  std::string old_path_, bin_;
};

TEST_F(AboutTest, ButtonsOpenOurPagesInTheBrowser) {
  const std::string log = store_.dir() + "/opened";
  {
    std::ofstream script(bin_ + "/xdg-open");
    script << "#!/bin/sh\necho \"$1\" >> " << log << "\n";
  }
  std::filesystem::permissions(bin_ + "/xdg-open", std::filesystem::perms::owner_all);
  setenv("PATH", (bin_ + ":/usr/bin:/bin").c_str(), 1);
  MessageRecorder messages;
  AboutPage page(nullptr);
  for (int id : {kProductInfoButton, kSupportButton, kHomePageButton, kHelpButton}) {
    auto* button = page.findChild<QPushButton*>(QString("ctl%1").arg(id));
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  std::vector<std::string> opened;
  ASSERT_TRUE(QTest::qWaitFor([&] {
    opened.clear();
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) opened.push_back(line);
    return opened.size() == 4;
  }, 5000));
  // Each button opens its own page (sorted: the browser runs apart from the clicks).
  std::sort(opened.begin(), opened.end());
  const std::string help = "file://" + platform::ProgramDirectory() + "/help/";
  EXPECT_EQ(opened, (std::vector<std::string>{
                        help + "wayfarer-help.html", help + "wayfarer-home.html",
                        help + "wayfarer-product.html", help + "wayfarer-support.html"}));
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(AboutTest, NoBrowserGivesE10033WithTheAddress) {
  setenv("PATH", bin_.c_str(), 1);
  MessageRecorder messages;
  AboutPage page(nullptr);
  QTest::mouseClick(page.findChild<QPushButton*>("ctl1098"), Qt::LeftButton);
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].caption, "Wayfarer");
  EXPECT_EQ(messages.messages()[0].icon, platform::MessageIcon::kError);
  EXPECT_EQ(messages.texts()[0],
            "E-10033: The default browser could not be determined.\nPlease point your browser "
            "to file://" +
                platform::ProgramDirectory() + "/help/wayfarer-home.html");
}

// Clicks the button of the next message box to appear; returns its title and text. Polls
// from a timer, so the check runs inside the box's own event loop once it is open.
void AnswerNextBox(QMessageBox::StandardButton button, std::string* title, std::string* text) {
  auto* poll = new QTimer();
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    poll->stop();
    poll->deleteLater();
    *title = box->windowTitle().toStdString();
    *text = box->text().toStdString();
    box->button(button)->click();
  });
  poll->start();
}

TEST_F(ConsoleTest, MessageBoxesFromEngineThreadsCarryTheirCaptionAndAreAnswered) {
  QtMessageSink sink;
  platform::MessageSink* previous = platform::SetMessageSink(&sink);
  std::string title, text;
  std::atomic<int> answer{0};
  std::thread asker([&] {
    answer = platform::ShowAdminMessage("Incorrect Password", "E-10032: wrong",
                                        platform::MessageIcon::kExclamation,
                                        platform::MessageButtons::kYesNo);
  });
  AnswerNextBox(QMessageBox::No, &title, &text);
  EXPECT_TRUE(QTest::qWaitFor([&] { return answer != 0; }, 5000));
  asker.join();
  EXPECT_EQ(answer, platform::kIdNo);
  EXPECT_EQ(title, "Incorrect Password");
  EXPECT_EQ(text, "E-10032: wrong");
  // At shut-down a thread still waiting gets the default answer instead of waiting for ever.
  answer = 0;
  std::thread late([&] {
    answer = platform::ShowAdminMessage("Wayfarer", "late", platform::MessageIcon::kNone,
                                        platform::MessageButtons::kYesNo);
  });
  std::this_thread::yield();
  sink.Close();
  late.join();
  EXPECT_EQ(answer, platform::kIdYes);
  platform::SetMessageSink(previous);
  QTest::qWait(50);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no box opens after the close";
}

TEST_F(ConsoleTest, PasswordGateLetsInOnlyTheRightPassword) {
  MessageRecorder messages;
  EXPECT_TRUE(PasswordGateOpens()) << "no password set: no prompt";
  ASSERT_EQ(engine::ChangeMasterPassword("", "s3cret", "s3cret"), 0);
  auto answer = [](const char* first, const char* second) {
    QTimer::singleShot(0, [=] {
      PasswordPrompt* prompt = nullptr;
      (void)QTest::qWaitFor([&] {
        prompt = dynamic_cast<PasswordPrompt*>(QApplication::activeModalWidget());
        return prompt != nullptr;
      }, 5000);
      if (prompt == nullptr) return;
      EXPECT_EQ(prompt->windowTitle().toStdString(), "Wayfarer's Master Password");
      EXPECT_EQ(prompt->edit()->maxLength(), 31);
      prompt->edit()->setText(first);
      prompt->accept();
      if (second == nullptr) return;
      EXPECT_TRUE(prompt->isVisible()) << "a wrong password keeps the prompt open";
      prompt->edit()->setText(second);
      prompt->accept();
      if (prompt->isVisible()) prompt->reject();
    });
  };
  answer("S3CRET", "s3cret");
  EXPECT_TRUE(PasswordGateOpens());
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.texts()[0].rfind("E-10032:", 0), 0u);
  answer("wrong", "also wrong");
  EXPECT_FALSE(PasswordGateOpens()) << "cancel opens nothing";
}

TEST(TrayWindow, MenuOffersOpenAndExitAndGreysExitWhileTheConsoleIsOpen) {
  int opened = 0, exited = 0;
  bool console_open = false;
  TrayWindow tray(QIcon(), {[&] { ++opened; }, [&] { ++exited; }, [&] { return console_open; }});
  EXPECT_EQ(tray.icon()->toolTip().toStdString(), "Wayfarer");
  const QList<QAction*> actions = tray.menu()->actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_EQ(actions[0]->text().toStdString(), "Open Wayfarer...");
  EXPECT_TRUE(actions[1]->isSeparator());
  EXPECT_EQ(actions[2]->text().toStdString(), "Exit");
  console_open = true;
  emit tray.menu()->aboutToShow();
  EXPECT_FALSE(actions[2]->isEnabled());
  console_open = false;
  emit tray.menu()->aboutToShow();
  EXPECT_TRUE(actions[2]->isEnabled());
  actions[0]->trigger();
  emit tray.icon()->activated(QSystemTrayIcon::DoubleClick);
  emit tray.icon()->activated(QSystemTrayIcon::Trigger);
  actions[2]->trigger();
  EXPECT_EQ(opened, 2) << "the double click and the menu open; a single click does not";
  EXPECT_EQ(exited, 1);
}

TEST(IconList, ReadsTwentyOneIconsOrStaysEmpty) {
  IconList built = IconList::Load(WAYFARER_BIN_DIR "/WayfarerIcons.png");
  ASSERT_EQ(built.size(), kIconCount);
  EXPECT_EQ(built.At(16).availableSizes().value(0), QSize(16, 16));
  EXPECT_TRUE(built.At(21).isNull());
  EXPECT_TRUE(IconList::Load("/nonexistent/WayfarerIcons.png").empty());
  TempStore dir;
  const QString small = QString::fromStdString(dir.dir() + "/small.png");
  ASSERT_TRUE(QImage(20 * 16, 16, QImage::Format_ARGB32).save(small));
  EXPECT_TRUE(IconList::Load(small).empty()) << "a strip of 20 is not the list";
  EXPECT_TRUE(IconList().At(0).isNull());
}

}  // namespace
}  // namespace console

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
