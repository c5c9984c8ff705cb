// The host-name cache used while UseDnsCache is on: lower-cased name -> canonical name and
// dotted address. Thread-safe: one process-wide map under its own lock.
#pragma once

#include <string>

namespace engine {

// Entries kept at most; a full cache is emptied before the next insertion, so names sent by
// clients cannot grow it without bound.
inline constexpr size_t kDnsCacheLimit = 4096;

// Looks a lower-cased name up. True with its address and canonical name.
bool DnsCacheLookup(const std::string& lower_name, std::string* address, std::string* canonical);
// Stores the entry under lower_name, and under the canonical name when that differs.
void DnsCacheStore(const std::string& lower_name, const std::string& canonical,
                   const std::string& address);
// Empties the cache (the program's end).
void DnsCacheClear();

}  // namespace engine
