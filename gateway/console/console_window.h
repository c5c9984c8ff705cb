// The console window: title "Wayfarer", fixed size, the tab control with one page at a time
// (created when its tab is selected, destroyed when it is left), CurrentTab restored on open
// and saved on close, and the engine's notices for the pages. Qt thread only; while it is open
// the engine posts its notices to the console target it was given.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "gateway/console/console_page.h"
#include "gateway/console/icon_list.h"
#include "platform/message_queue.h"

class QTabBar;
class QVBoxLayout;

namespace console {

struct ConsoleOptions {
  bool main_window = false;  // dialog mode: closing the console exits the program
  bool dial_bound = false;
  platform::TargetId notice_target = 0;  // where the engine posts its notices
  // Runs the exit sequence; false when the administrator answered No.
  std::function<bool()> exit_program;
  IconList icons;
};

class ConsoleWindow : public QWidget {
 public:
  explicit ConsoleWindow(ConsoleOptions options, QWidget* parent = nullptr);
  ~ConsoleWindow() override;

  // A message posted to the console target (session notices are freed here).
  void OnEngineMessage(const platform::Message& msg);
  // Closes without the exit question (the exit sequence already ran).
  void CloseForExit();

  [[nodiscard]] QTabBar* tabs() const { return tabs_; }
  [[nodiscard]] ConsolePage* page() const { return page_; }
  [[nodiscard]] PageKind current_kind() const;
  [[nodiscard]] const IconList& icons() const { return options_.icons; }
  // The tab index of kind, -1 when this run has no such tab.
  [[nodiscard]] int TabIndexOf(PageKind kind) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void SelectStoredTab();
  void OnTabChanged(int index);
  void ApplyCacheActivity(bool on);
  // After a reload of the settings: the Services, Security or Cache page shown is built anew.
  void RebuildReloadedPage();

  ConsoleOptions options_;
  std::vector<TabEntry> tabs_list_;
  QTabBar* tabs_;
  QVBoxLayout* page_area_;
  QPointer<ConsolePage> page_;
  bool purge_running_ = false;
  bool closing_for_exit_ = false;
};

// The tab a stored CurrentTab selects: clamped to the last tab; a tab whose page is not in
// this build gives way to the next shown tab after it, else the last shown one before it.
[[nodiscard]] int TabForStoredIndex(int stored, const std::vector<TabEntry>& tabs);

}  // namespace console
