// The registrations of openings, greetings and the cache hook.
#include "gateway/engine/relay_openings.h"

#include <array>
#include <atomic>

#include "gateway/engine/service_catalogue.h"

namespace engine {
namespace {

constexpr size_t kCodes = kCodeRealAudio + 1;
std::array<std::atomic<Opening>, kCodes> g_openings{};
std::array<std::atomic<Greeting>, kCodes> g_greetings{};
std::atomic<CacheHook*> g_cache_hook{nullptr};

bool ValidCode(int code) { return code >= 0 && code < static_cast<int>(kCodes); }

}  // namespace

void RegisterOpening(int code, Opening opening) {
  if (ValidCode(code)) g_openings[static_cast<size_t>(code)].store(opening);
}

void RegisterGreeting(int code, Greeting greeting) {
  if (ValidCode(code)) g_greetings[static_cast<size_t>(code)].store(greeting);
}

Opening OpeningFor(int code) {
  return ValidCode(code) ? g_openings[static_cast<size_t>(code)].load() : nullptr;
}

Greeting GreetingFor(int code) {
  return ValidCode(code) ? g_greetings[static_cast<size_t>(code)].load() : nullptr;
}

bool HasOpening(int code) { return OpeningFor(code) != nullptr; }

void SetCacheHook(CacheHook* hook) { g_cache_hook.store(hook); }
CacheHook* GetCacheHook() { return g_cache_hook.load(); }

}  // namespace engine
