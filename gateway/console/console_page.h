// The console's tabs in their fixed order, the base of every page and the factory that creates
// a tab's page when the tab is selected. The Services, Connections, Security and About pages are
// built in; the pages of other areas register their creator at start-up. Qt thread only.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "gateway/engine/session_registry.h"

namespace console {

enum class PageKind { kServices, kConnections, kSecurity, kDial, kCache, kAbout };

struct TabEntry {
  PageKind kind;
  const char* label;
};

// The tabs of this run in their order: " Dial" only when the dial-up facility is bound. Every
// tab is counted, also one whose page is not in this build (that tab is hidden), so a stored
// CurrentTab keeps its meaning as pages join.
[[nodiscard]] std::vector<TabEntry> ConsoleTabs(bool dial_bound);

// A page lives only while its tab is selected.
class ConsolePage : public QWidget {
 public:
  using QWidget::QWidget;
  // A session notice while the page is shown (the notice stays the caller's).
  virtual void OnSessionNotice(bool /*added*/, const engine::SessionNotice& /*notice*/) {}
  // The cache activity indicator (the Cache page plays it; the console disables the page).
  virtual void ShowCacheActivity(bool /*on*/) {}
  // The tab is being left; the page is destroyed right after (the Dial page stops its timer).
  virtual void Leaving() {}
};

using PageCreator = std::function<ConsolePage*(QWidget* parent)>;

// Registers the creator of a page that is not built in (start-up, before the console opens);
// an empty creator takes the registration back.
void RegisterPage(PageKind kind, PageCreator creator);
[[nodiscard]] bool HasPage(PageKind kind);
// A new page for kind, or nullptr when this build has none.
[[nodiscard]] ConsolePage* CreatePage(PageKind kind, QWidget* parent);
// Whether a cache purge pass runs now (asked when the Cache page is created); none: not known.
void SetPurgeRunningProbe(std::function<bool()> probe);
[[nodiscard]] const std::function<bool()>& PurgeRunningProbe();

}  // namespace console
