// RegisterCacheAndDialPages.
#include "gateway/console/cache_dial_pages.h"

#include "gateway/console/cache_page.h"
#include "gateway/console/console_page.h"
#include "gateway/console/dial_page.h"
#include "gateway/web/cache_settings.h"

namespace console {

void RegisterCacheAndDialPages() {
  RegisterPage(PageKind::kCache, [](QWidget* parent) { return new CachePage(parent); });
  RegisterPage(PageKind::kDial, [](QWidget* parent) { return new DialPage(parent); });
  SetPurgeRunningProbe([] { return web::PurgeRunning(); });
}

}  // namespace console
