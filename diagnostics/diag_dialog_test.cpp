// The Lookout dialog under the offscreen platform: texts, the Save As defaults, cancelling,
// a report run, a failing file, the About box, and a screenshot for review.
#include "diagnostics/diag_dialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>

#include "diagnostics/report_test_support.h"
#include "diagnostics/report_texts.h"
#include "platform/testing/message_recorder.h"

namespace diagnostics {
namespace {

// One QApplication for the whole test program, made before the first test and destroyed after
// the last, while Qt's own statics are still alive.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[17] = "diag_dialog_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

class DialogTest : public testing::ReportTest {
 protected:
  void SetUp() override {
    ReportTest::SetUp();
    dialog_.set_agent(&agent_);
    dialog_.set_report_opener([this](const std::string& path) { opened_.push_back(path); });
    dialog_.show();
  }

  void ClickOk() {
    auto* box = dialog_.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
  }

  platform::SnmpAgent agent_ = SampleAgent();
  CDiagDlg dialog_;
  std::vector<std::string> opened_;
};

TEST_F(DialogTest, CaptionTextButtonsAndAboutBox) {
  EXPECT_EQ(dialog_.windowTitle(), "Wayfarer Diagnostics");
  auto* text = dialog_.findChild<QLabel*>("static1002");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->text().toStdString(),
            "This utility stores information about your internet clients in a text file chosen "
            "by you.\nPress OK to choose the file and store the diagnostic information.\nEmail "
            "or fax it to Wayfarer Computer Products Ltd.");
  auto* box = dialog_.findChild<QDialogButtonBox*>();
  EXPECT_EQ(box->button(QDialogButtonBox::Ok)->text(), "OK");
  EXPECT_EQ(box->button(QDialogButtonBox::Cancel)->text(), "Cancel");
  EXPECT_EQ(dialog_.about_action()->text(), "&About Lookout...");
  dialog_.about_action()->trigger();
  auto* about = dialog_.findChild<QMessageBox*>();
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->windowTitle(), "About Lookout");
  about->close();
}

TEST_F(DialogTest, SaveAsDefaults) {
  QFileDialog save;
  ConfigureSaveAsDialog(&save);
  EXPECT_EQ(save.acceptMode(), QFileDialog::AcceptSave);
  EXPECT_EQ(save.defaultSuffix(), "txt");
  EXPECT_EQ(save.nameFilters(), (QStringList{"Text File (*.txt)", "All Files (*.*)"}));
  EXPECT_FALSE(save.testOption(QFileDialog::DontConfirmOverwrite));
}

TEST_F(DialogTest, CancelledSaveAsWritesNothingAndLeavesTheDialogOpen) {
  int asked = 0;
  dialog_.set_path_chooser([&](QWidget*) -> std::optional<std::string> {
    ++asked;
    return std::nullopt;
  });
  auto before = std::distance(std::filesystem::directory_iterator(store_.dir()), {});
  ClickOk();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(dialog_.isVisible());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(store_.dir()), {}), before);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(DialogTest, OkWithAFileNameWritesTheReportOpensItAndCloses) {
  const std::string path = store_.dir() + "/Wayfarer.txt";
  dialog_.set_path_chooser([&](QWidget*) { return std::optional<std::string>(path); });
  ClickOk();
  EXPECT_TRUE(ReadFile(path).starts_with("Diagnostic File Created by Wayfarer\n\n"));
  EXPECT_TRUE(
      ReadFile(path).ends_with("SECTION : Wayfarer\n"
                               "E 109 : Registry Key is Invalid\nError Code = 2\n"));
  EXPECT_EQ(opened_, std::vector<std::string>{path});
  EXPECT_FALSE(dialog_.isVisible());
  EXPECT_EQ(dialog_.result(), QDialog::Accepted);
}

TEST_F(DialogTest, FileThatCannotBeCreatedShowsE102AndLeavesTheDialogOpen) {
  platform::testing::MessageRecorder recorder;
  dialog_.set_path_chooser(
      [&](QWidget*) { return std::optional<std::string>(store_.dir() + "/none/r.txt"); });
  ClickOk();
  EXPECT_EQ(recorder.texts(), std::vector<std::string>{"E 102 : Could not open log file"});
  EXPECT_TRUE(dialog_.isVisible());
  EXPECT_TRUE(opened_.empty());
}

TEST_F(DialogTest, Screenshot) {
  dialog_.resize(dialog_.sizeHint());
  const QString file = QCoreApplication::applicationDirPath() + "/lookout_dialog.png";
  EXPECT_TRUE(dialog_.grab().save(file));
}

}  // namespace
}  // namespace diagnostics
