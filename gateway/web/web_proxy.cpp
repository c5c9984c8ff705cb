// RegisterWebProxy.
#include "gateway/web/web_proxy.h"

#include "gateway/engine/relay_openings.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/web/http_opening.h"

namespace web {

void RegisterWebProxy() { engine::RegisterOpening(engine::kCodeWww, &OpenHttp); }

}  // namespace web
