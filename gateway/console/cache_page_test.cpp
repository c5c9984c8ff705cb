// The Cache page on a running engine with a private store: the cache switched on from the page
// serving the second fetch from disk, an exception with count 0 keeping its host out, Purge
// Now answered No and Yes with the activity indicator, the page's limit driving a purge pass,
// and bad values refused with their message.
#include "gateway/console/cache_page.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "gateway/console/cache_exception_dialog.h"
#include "gateway/console/number_edit.h"
#include "gateway/console/page_test_support.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/store_access.h"
#include "gateway/web/cache_record.h"
#include "gateway/web/cache_settings.h"
#include "gateway/web/cache_store.h"
#include "gateway/web/purge_pass.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace console {
namespace {

namespace fs = std::filesystem;
using platform::testing::MessageRecorder;
using testing::Fetch;

int StoredDword(const char* name) {
  int value = -1;
  return engine::ReadDwordAt(engine::kKeyCache, "", name, &value) == 0 ? value : -1;
}

// Complete cache files under dir (a file being written has a temporary name).
size_t FilesUnder(const std::string& dir) {
  size_t n = 0;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec)) {
    n += e.is_regular_file() && e.path().filename().string().rfind(web::kPartialPrefix, 0) != 0;
  }
  return n;
}

// The session finishes its cache file after the client has its answer.
bool Stored(const std::string& dir, size_t n) {
  return QTest::qWaitFor([&] { return FilesUnder(dir) == n; }, 5000);
}

// Records the indicator being shown and hidden and the page being disabled and enabled.
class IndicatorWatch : public QObject {
 public:
  explicit IndicatorWatch(QWidget* indicator, QWidget* page) : indicator_(indicator), page_(page) {
    indicator->installEventFilter(this);
    page->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == indicator_ && event->type() == QEvent::Show) events.push_back("shown");
    if (watched == indicator_ && event->type() == QEvent::Hide) events.push_back("hidden");
    if (watched == page_ && event->type() == QEvent::EnabledChange) {
      events.push_back(page_->isEnabled() ? "page on" : "page off");
    }
    return false;
  }
  std::vector<std::string> events;

 private:
  QObject* indicator_;
  QWidget* page_;
};

class CachePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    www_ = testing::FreePort();
    testing::ConfigureWebOnly(www_);
    ASSERT_EQ(engine::WriteCurrentTab(1), 0);
    cache_dir_ = store_.dir() + "/webcache";
    gateway_ = std::make_unique<testing::RunningGateway>();
    ASSERT_TRUE(gateway_->started());
    // No message box may wait for an answer nobody gives; the tests' own recorders nest.
    unanswered_ = std::make_unique<MessageRecorder>();
    page_ = dynamic_cast<CachePage*>(gateway_->Show(PageKind::kCache));
    ASSERT_NE(page_, nullptr);
  }
  void TearDown() override {
    unanswered_.reset();
    MessageRecorder quiet;  // a failed check may leave a value the page would complain about
    gateway_.reset();
  }

  template <typename T>
  T* Control(const char* id) const {
    return page_->findChild<T*>(id);
  }
  void TypeLocation(const std::string& dir) {
    auto* edit = Control<QLineEdit>("ctl1102");
    edit->setFocus();
    edit->setText(QString::fromStdString(dir));
    emit edit->editingFinished();
  }
  // Size, TTL and location, then Enable Caching and Enable Cache Lookups, as an administrator.
  void TurnCacheOn(int size_mb = 10) {
    MessageRecorder swallow;  // the fresh store's zeros are refused until all are valid
    Control<NumberEdit>("ctl1101")->setValue(size_mb);
    Control<NumberEdit>("ctl1104")->setValue(2);
    TypeLocation(cache_dir_);
    Control<QCheckBox>("ctl1099")->click();
    Control<QCheckBox>("ctl1100")->click();
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(origin_.port()) + path;
  }
  std::string HostDir() const {
    return cache_dir_ + "/127.0.0.1~" + std::to_string(origin_.port());
  }
  // Answers the exception dialog once it is up: host, count, then OK.
  void AnswerExceptionDialog(const QString& host, int count, std::vector<std::string>* seen) {
    QTimer::singleShot(0, [=] {
      auto* dialog = dynamic_cast<CacheExceptionDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      MessageRecorder recorder;
      dialog->host_edit()->setText("");
      dialog->findChild<QPushButton*>("ctl1")->click();
      for (const auto& t : recorder.texts()) seen->push_back(t);
      seen->push_back(dialog->isVisible() ? "still open" : "closed");
      dialog->host_edit()->setText(host);
      dialog->count_edit()->setValue(count);
      dialog->findChild<QPushButton*>("ctl1")->click();
    });
  }

  platform::testing::TempStore store_;
  testing::CountingOrigin origin_;
  uint16_t www_ = 0;
  std::string cache_dir_;
  std::unique_ptr<testing::RunningGateway> gateway_;
  std::unique_ptr<MessageRecorder> unanswered_;
  CachePage* page_ = nullptr;
};

TEST_F(CachePageTest, CacheTurnedOnFromThePageServesTheSecondFetchFromDisk) {
  ASSERT_NE(Fetch(www_, Url("/before")).find("object /before"), std::string::npos);
  ASSERT_NE(Fetch(www_, Url("/before")).find("object /before"), std::string::npos);
  EXPECT_EQ(origin_.requests(), 2) << "a fresh store has the cache off";

  TurnCacheOn();
  EXPECT_EQ(StoredDword("EnableCache"), 1);
  EXPECT_EQ(StoredDword("EnableLookups"), 1);
  EXPECT_EQ(StoredDword("MaxCacheSize"), 10 << 20);
  EXPECT_EQ(Control<QLineEdit>("ctl1102")->text().toStdString(), cache_dir_ + "/");
  const std::string first = Fetch(www_, Url("/obj"));
  ASSERT_TRUE(Stored(cache_dir_, 1));
  const std::string second = Fetch(www_, Url("/obj"));
  ASSERT_NE(first.find("object /obj"), std::string::npos);
  EXPECT_EQ(second, first);
  EXPECT_EQ(origin_.requests(), 3) << "the second fetch came from disk";

  // A new location serves the next request without a restart.
  const std::string moved = store_.dir() + "/moved";
  TypeLocation(moved);
  (void)Fetch(www_, Url("/obj"));
  ASSERT_TRUE(Stored(moved, 1));
  (void)Fetch(www_, Url("/obj"));
  EXPECT_EQ(origin_.requests(), 4);

  // Off again: every fetch goes to the origin.
  Control<QCheckBox>("ctl1099")->click();
  Control<QCheckBox>("ctl1100")->click();
  EXPECT_EQ(StoredDword("EnableCache"), 0);
  (void)Fetch(www_, Url("/obj"));
  EXPECT_EQ(origin_.requests(), 5);
}

TEST_F(CachePageTest, ExceptionWithCountZeroKeepsItsHostOutOfTheCache) {
  TurnCacheOn();
  const QString host = QString("127.0.0.1:%1").arg(origin_.port());
  std::vector<std::string> seen;
  AnswerExceptionDialog(host, 0, &seen);
  QTest::mouseClick(page_->findChild<QPushButton*>("ctl1113"), Qt::LeftButton);
  EXPECT_EQ(seen, (std::vector<std::string>{"E-10036: Please specify a URL for this exception.",
                                            "still open"}));
  auto* list = Control<QTreeWidget>("ctl1108");
  ASSERT_EQ(list->topLevelItemCount(), 1);
  EXPECT_EQ(list->topLevelItem(0)->text(0), host);
  EXPECT_EQ(list->topLevelItem(0)->text(1), "0");
  int stored = -1;
  EXPECT_EQ(engine::ReadDwordAt(engine::kKeyCache, host.toStdString(), "TTL", &stored), 0);
  EXPECT_EQ(stored, 1);
  for (int i = 0; i < 3; ++i) (void)Fetch(www_, Url("/never"));
  EXPECT_EQ(origin_.requests(), 3);
  EXPECT_EQ(FilesUnder(cache_dir_), 0u);

  // Deleted, the host is cached again.
  list->setCurrentItem(list->topLevelItem(0));
  QTest::mouseClick(page_->findChild<QPushButton*>("ctl1116"), Qt::LeftButton);
  EXPECT_EQ(list->topLevelItemCount(), 0);
  EXPECT_FALSE(page_->findChild<QPushButton*>("ctl1115")->isEnabled());
  (void)Fetch(www_, Url("/never"));
  ASSERT_TRUE(Stored(cache_dir_, 1));
  (void)Fetch(www_, Url("/never"));
  EXPECT_EQ(origin_.requests(), 4);
}

TEST_F(CachePageTest, PurgeNowNoKeepsTheCacheYesEmptiesItWithTheIndicatorShown) {
  TurnCacheOn();
  for (const char* path : {"/a", "/b", "/c"}) (void)Fetch(www_, Url(path));
  ASSERT_TRUE(Stored(cache_dir_, 3));
  auto* purge = page_->findChild<QPushButton*>("ctl1114");
  {
    MessageRecorder no(platform::kIdNo);
    QTest::mouseClick(purge, Qt::LeftButton);
    ASSERT_EQ(no.texts().size(), 1u);
    EXPECT_EQ(no.texts()[0], web::kW10037);
  }
  EXPECT_EQ(FilesUnder(cache_dir_), 3u);
  IndicatorWatch watch(Control<QProgressBar>("ctl1125"), page_);
  {
    MessageRecorder yes(platform::kIdYes);
    QTest::mouseClick(purge, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return watch.events.size() >= 4; }, 10000));
  }
  EXPECT_EQ(watch.events, (std::vector<std::string>{"shown", "page off", "hidden", "page on"}));
  EXPECT_EQ(FilesUnder(cache_dir_), 0u);
  EXPECT_TRUE(fs::exists(cache_dir_)) << "the directory itself stays";
  EXPECT_TRUE(page_->isEnabled());
  EXPECT_EQ(page_->findChild<QLabel*>("PurgeStatus")->text(), "The Web Cache is empty.");
  (void)Fetch(www_, Url("/a"));
  EXPECT_EQ(origin_.requests(), 4) << "the purged object is fetched again";
}

TEST_F(CachePageTest, PassWithThePagesLimitDeletesLowestScoresUntilUnderNinetyPercent) {
  TurnCacheOn(1);
  const web::CacheSettings settings = web::CurrentCacheSettings();
  ASSERT_EQ(settings.max_cache_size, 1u << 20);
  // Five files of 256 KiB: 1.25 MiB against a 1 MiB limit; hit counts rank them.
  const std::string host = settings.cache_location + "origin";
  fs::create_directories(host);
  const uint32_t hits[] = {4, 0, 3, 1, 2};
  for (int i = 0; i < 5; ++i) {
    std::ofstream out(host + "/f" + std::to_string(i), std::ios::binary);
    const uint32_t record[4] = {hits[i], 0, 0, 1000};
    out.write(reinterpret_cast<const char*>(record), sizeof record);
    out << std::string((256 << 10) - sizeof record, 'x');
  }
  std::atomic<bool> stop{false};
  ASSERT_EQ(web::PurgeCache(settings.cache_location, settings.max_cache_size, stop), 0);
  // 1.25 MiB - 0.9 MiB: two files (hit counts 0 and 1) must go.
  EXPECT_FALSE(fs::exists(host + "/f1"));
  EXPECT_FALSE(fs::exists(host + "/f3"));
  for (const char* kept : {"/f0", "/f2", "/f4"}) EXPECT_TRUE(fs::exists(host + kept)) << kept;
}

TEST_F(CachePageTest, BadSizeOrTtlShowsItsMessageAndKeepsTheOldValue) {
  TurnCacheOn(20);
  struct Case {
    const char* id;
    int value;
    const char* message;
  };
  const Case cases[] = {{"ctl1101", 1000, "Please enter an integer between 1 and 999."},
                        {"ctl1101", 0, "Please enter an integer between 1 and 999."},
                        {"ctl1104", 255, "Please enter an integer between 1 and 254."}};
  for (const Case& c : cases) {
    MessageRecorder recorder;
    auto* edit = Control<NumberEdit>(c.id);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QString::number(c.value));
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_EQ(recorder.texts().size(), 1u) << c.message;
    EXPECT_EQ(recorder.texts()[0], c.message);
    EXPECT_EQ(StoredDword("MaxCacheSize"), 20 << 20);
    EXPECT_EQ(StoredDword("TTL"), 2);
    EXPECT_EQ(web::CurrentCacheSettings().ttl, 2);
    const QSignalBlocker quiet(edit);
    edit->setValue(c.id == std::string("ctl1101") ? 20 : 2);
  }
  // The arrows stay inside the up-down's range.
  auto* size = Control<NumberEdit>("ctl1101");
  size->setValue(999);
  size->stepBy(1);
  EXPECT_EQ(size->value(), 999);
}

}  // namespace
}  // namespace console

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
