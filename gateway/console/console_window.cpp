// The tab control's switching, the stored tab and the routing of engine notices.
#include "gateway/console/console_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

#include "gateway/console/console_banner.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/gateway_app.h"

namespace console {
namespace {

constexpr QSize kConsoleSize(600, 460);
constexpr int kRebuildRetryMs = 500;

}  // namespace

int TabForStoredIndex(int stored, const std::vector<TabEntry>& tabs) {
  const int last = static_cast<int>(tabs.size()) - 1;
  int index = stored < 0 ? 0 : (stored > last ? last : stored);
  for (int i = index; i <= last; ++i) {
    if (HasPage(tabs[static_cast<size_t>(i)].kind)) return i;
  }
  for (int i = index - 1; i >= 0; --i) {
    if (HasPage(tabs[static_cast<size_t>(i)].kind)) return i;
  }
  return index;
}

ConsoleWindow::ConsoleWindow(ConsoleOptions options, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      options_(std::move(options)),
      tabs_list_(ConsoleTabs(options_.dial_bound)) {
  setObjectName("ConsoleWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowIcon(options_.icons.At(kProgramIcon));
  engine::SetConsoleTarget(options_.notice_target);
  setWindowTitle(engine::kAppCaption);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(MakeConsoleBanner(options_.icons.directory(), this));
  tabs_ = new QTabBar(this);
  tabs_->setObjectName("ctl1000");
  tabs_->setExpanding(false);
  for (const TabEntry& tab : tabs_list_) {
    const int index = tabs_->addTab(tab.label);
    tabs_->setTabVisible(index, HasPage(tab.kind));
  }
  layout->addWidget(tabs_);
  page_area_ = new QVBoxLayout();
  layout->addLayout(page_area_, 1);
  setFixedSize(kConsoleSize);
  SelectStoredTab();
  connect(tabs_, &QTabBar::currentChanged, this, [this](int index) { OnTabChanged(index); });
}

ConsoleWindow::~ConsoleWindow() {
  engine::SetConsoleTarget(0);
}

void ConsoleWindow::SelectStoredTab() {
  int stored = 0;
  if (engine::ReadCurrentTab(&stored) != 0) stored = 0;
  const int index = TabForStoredIndex(stored, tabs_list_);
  const QSignalBlocker block(tabs_);
  tabs_->setCurrentIndex(index);
  OnTabChanged(index);
}

PageKind ConsoleWindow::current_kind() const {
  const int index = tabs_->currentIndex();
  return index < 0 ? PageKind::kAbout : tabs_list_[static_cast<size_t>(index)].kind;
}

int ConsoleWindow::TabIndexOf(PageKind kind) const {
  for (size_t i = 0; i < tabs_list_.size(); ++i) {
    if (tabs_list_[i].kind == kind) return static_cast<int>(i);
  }
  return -1;
}

// The page being left goes first, then the new one is created.
void ConsoleWindow::OnTabChanged(int index) {
  if (!page_.isNull()) {
    page_->Leaving();
    delete page_.data();
  }
  if (index < 0 || index >= static_cast<int>(tabs_list_.size())) return;
  const PageKind kind = tabs_list_[static_cast<size_t>(index)].kind;
  page_ = CreatePage(kind, this);
  if (page_.isNull()) return;
  page_->setObjectName(QString("page%1").arg(static_cast<int>(kind)));
  page_area_->addWidget(page_.data());
  page_->show();
  if (kind == PageKind::kCache) {
    const auto& probe = PurgeRunningProbe();
    ApplyCacheActivity(probe ? probe() : purge_running_);
  }
}

void ConsoleWindow::ApplyCacheActivity(bool on) {
  purge_running_ = on;
  if (page_.isNull() || current_kind() != PageKind::kCache) return;
  page_->ShowCacheActivity(on);
  page_->setEnabled(!on);
}

void ConsoleWindow::OnEngineMessage(const platform::Message& msg) {
  if (msg.message == engine::kMsgSessionAdded || msg.message == engine::kMsgSessionRemoved) {
    std::unique_ptr<engine::SessionNotice> notice(
        reinterpret_cast<engine::SessionNotice*>(msg.lparam));
    if (notice && !page_.isNull()) {
      page_->OnSessionNotice(msg.message == engine::kMsgSessionAdded, *notice);
    }
    return;
  }
  if (msg.message == engine::kMsgPurgeNotice) ApplyCacheActivity(msg.lparam == 1);
  if (msg.message == engine::kMsgSettingsReloaded) RebuildReloadedPage();
}

// Pages read their settings when they are built. A dialog of the page that is open (it runs its
// own loop with the page as its parent) keeps the page; the rebuild waits until it is closed.
void ConsoleWindow::RebuildReloadedPage() {
  const PageKind kind = current_kind();
  if (page_.isNull() ||
      (kind != PageKind::kServices && kind != PageKind::kSecurity && kind != PageKind::kCache)) {
    return;
  }
  if (QApplication::activeModalWidget() != nullptr) {
    QTimer::singleShot(kRebuildRetryMs, this, [this] { RebuildReloadedPage(); });
    return;
  }
  OnTabChanged(tabs_->currentIndex());
}

void ConsoleWindow::CloseForExit() {
  closing_for_exit_ = true;
  close();
}

// Closing saves the tab. As the program's main window the console runs the exit sequence
// first, and an answer of No keeps it open with everything running.
void ConsoleWindow::closeEvent(QCloseEvent* event) {
  (void)engine::WriteCurrentTab(tabs_->currentIndex());
  if (options_.main_window && !closing_for_exit_ && options_.exit_program &&
      !options_.exit_program()) {
    event->ignore();
    return;
  }
  engine::SetConsoleTarget(0);
  event->accept();
}

}  // namespace console
