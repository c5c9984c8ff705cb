// The tab list and the page creators.
#include "gateway/console/console_page.h"

#include <map>

#include "gateway/console/about_page.h"
#include "gateway/console/connections_page.h"
#include "gateway/console/console_window.h"
#include "gateway/console/security_page.h"
#include "gateway/console/services_page.h"

namespace console {
namespace {

std::map<PageKind, PageCreator>& Creators() {
  static std::map<PageKind, PageCreator> creators;
  return creators;
}

std::function<bool()>& Probe() {
  static std::function<bool()> probe;
  return probe;
}

}  // namespace

std::vector<TabEntry> ConsoleTabs(bool dial_bound) {
  std::vector<TabEntry> tabs = {{PageKind::kServices, "Services"},
                                {PageKind::kConnections, "Connections"},
                                {PageKind::kSecurity, "Security"}};
  if (dial_bound) tabs.push_back({PageKind::kDial, " Dial"});
  tabs.push_back({PageKind::kCache, "Cache"});
  tabs.push_back({PageKind::kAbout, "About"});
  return tabs;
}

void RegisterPage(PageKind kind, PageCreator creator) {
  if (creator) {
    Creators()[kind] = std::move(creator);
  } else {
    Creators().erase(kind);
  }
}

bool HasPage(PageKind kind) {
  return kind == PageKind::kServices || kind == PageKind::kConnections ||
         kind == PageKind::kSecurity || kind == PageKind::kAbout || Creators().count(kind) != 0;
}

ConsolePage* CreatePage(PageKind kind, QWidget* parent) {
  if (kind == PageKind::kServices) {
    const auto* window = dynamic_cast<const ConsoleWindow*>(parent);
    return new ServicesPage(parent, window != nullptr ? window->icons() : IconList());
  }
  if (kind == PageKind::kConnections) return new ConnectionsPage(parent);
  if (kind == PageKind::kSecurity) return new SecurityPage(parent);
  if (kind == PageKind::kAbout) return new AboutPage(parent);
  auto it = Creators().find(kind);
  return it == Creators().end() ? nullptr : it->second(parent);
}

void SetPurgeRunningProbe(std::function<bool()> probe) { Probe() = std::move(probe); }

const std::function<bool()>& PurgeRunningProbe() { return Probe(); }

}  // namespace console
