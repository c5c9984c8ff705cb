// What the relay session asks of the subsystems above the engine: the openings of the WWW,
// POP3 and SOCKS kinds, POP3's greeting, and the web cache's part in a WWW relay. Each
// subsystem registers its part at start-up, before the listeners start; afterwards the
// registrations are only read.
#pragma once

#include <cstddef>

namespace engine {

class FmCsHttpService;

// Runs on the first client event of a session of its code. -1 ends the session; anything
// else goes on (then the server socket is connected and selected for kMsgRelayEvent).
using Opening = int (*)(FmCsHttpService& session);
// POP3's greeting before the opening: -1 when it could not be sent.
using Greeting = int (*)(FmCsHttpService& session);

void RegisterOpening(int code, Opening opening);
void RegisterGreeting(int code, Greeting greeting);
[[nodiscard]] Opening OpeningFor(int code);
[[nodiscard]] Greeting GreetingFor(int code);
[[nodiscard]] bool HasOpening(int code);

// The web cache's part in a WWW relay; called by the session's own thread only.
class CacheHook {
 public:
  virtual ~CacheHook() = default;
  // Response bytes just read from the server, before they are relayed. Updates the
  // session's cache state; 0 means the client is answered otherwise: from the stored answer
  // in the session's cache().serve_fd when one is set, else the session ends.
  virtual int CacheResponseChunk(FmCsHttpService& session, const char* data, size_t n) = 0;
  // The close rules decided that the half-written cache file must go.
  virtual void DiscardCacheFile(FmCsHttpService& session) = 0;
  // The session ends: close the cache file (keeping or dropping it as its state says).
  virtual void CloseCacheFile(FmCsHttpService& session) = 0;
  // The server closed in order and every byte of its response was read and passed on.
  virtual void ResponseEnded(FmCsHttpService&) {}
};

// Installs the hook (not owned). nullptr: no cache (every WWW session passes through).
void SetCacheHook(CacheHook* hook);
[[nodiscard]] CacheHook* GetCacheHook();

}  // namespace engine
