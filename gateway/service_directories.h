// Directories the service manager gives the gateway: the cache directory becomes the web
// cache's location when the store names none. Main thread, before the engine starts.
#pragma once

#include <string>

namespace gateway {

// With $CACHE_DIRECTORY set and no CacheLocation stored, stores that directory as the cache
// location. Returns the location it stored, or "" when it changed nothing.
std::string AdoptCacheDirectory();

}  // namespace gateway
