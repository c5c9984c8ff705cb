// settings_writer: writes numbered generations of settings through the functions the console's
// pages call (Cache, Dial, Security, Services, the master password) so a test can kill it at
// any moment, then says of each stored value whether it is a whole generation's. Each generation
// adds its deny rule and deletes the one before, so a kill may land inside a renumbering.
// Single-threaded; the store is $WAYFARER_REGISTRY.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "gateway/dialer/dial_page_rules.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/rule_list.h"
#include "gateway/engine/security_page.h"
#include "gateway/engine/settings_records.h"
#include "gateway/web/cache_page_rules.h"
#include "gateway/web/cache_settings.h"
#include "platform/registry.h"

namespace {

using Values = std::map<std::string, std::string>;

constexpr char kProfile[] = "Office ISP";
// The Cache page's limits: the TTL and the size in MB go round within them.
constexpr long kTtlRound = web::kMaxPageTtl;
constexpr long kSizeRound = web::kMaxCacheSizeMb;
constexpr long kMaxGeneration = 1000000;

std::string G(const char* stem, long g) { return stem + std::to_string(g); }

// The last numbered Service subkey: the test's mapping.
int MappingIndex() {
  int total = 0;
  return engine::ReadTotalServices(&total) == 0 && total > 0 ? total - 1 : -1;
}

int WriteGeneration(long g) {
  web::CacheForm cache{true,
                       g % 2 == 1,
                       std::to_string(g % kSizeRound + 1),
                       G("gen-", g),
                       std::to_string(g % kTtlRound + 1),
                       web::kTtlDays};
  dialer::DialForm dial{false,         std::to_string(g), true,         std::to_string(g + 1),
                        G("user-", g), G("word-", g),     G("dom-", g), kProfile};
  engine::RuleRecord rule{2, G("10.0.0.", g), "All", ""};
  engine::ServiceEntry mapping;
  mapping.index = MappingIndex();
  if (mapping.index < 0 || engine::LoadServiceEntry(mapping.index, &mapping) != 0) return -1;
  mapping.DefaultHost = G("host-", g);
  mapping.DefaultHostPortNum = static_cast<int>(1000 + g);
  mapping.MappingName = G("map-", g);
  if (web::SaveCacheForm(cache) != 0 || dialer::SaveDialForm(&dial) != 0) return -1;
  // A writer killed after adding this generation's rule left it in place: it is not added twice.
  bool stored = false;
  engine::RuleRecord listed;
  for (size_t i = 0; engine::TheRuleList().RuleAt(i, &listed); ++i) {
    stored = stored || listed.ClientIP == rule.ClientIP;
  }
  if (!stored && engine::SecureRule(rule) < 0) return -1;
  int select = 0;
  while (engine::TheRuleList().Size() > 1) {
    if (engine::DeleteRule(0, &select) != 0) return -1;
  }
  if (engine::SaveServiceEntry(mapping) != 0) return -1;
  return engine::WriteMasterPassword(G("master-", g));
}

Values Expected(long g) {
  return {{"cache.size", std::to_string((g % kSizeRound + 1) << 20)},
          {"cache.location", G("gen-", g) + "/"},
          {"cache.ttl", std::to_string(g % kTtlRound + 1)},
          {"cache.lookups", std::to_string(g % 2)},
          {"dial.retries", std::to_string(g)},
          {"dial.minutes", std::to_string(g + 1)},
          {"dial.name", G("user-", g)},
          {"dial.password", G("word-", g)},
          {"dial.domain", G("dom-", g)},
          {"rule.client", G("10.0.0.", g)},
          {"rule.distinct", "yes"},
          {"mapping.host", G("host-", g)},
          {"mapping.port", std::to_string(1000 + g)},
          {"mapping.name", G("map-", g)},
          {"master", G("master-", g)}};
}

// What the store holds now, read as the gateway and the pages read it; "(missing)" for a value
// that cannot be read.
Values Stored() {
  Values v;
  for (const auto& [name, text] : Expected(0)) v[name] = "(missing)";
  if (web::LoadCacheSettings() == 0) {
    web::CacheSettings cache = web::CurrentCacheSettings();
    v["cache.size"] = std::to_string(cache.max_cache_size);
    v["cache.location"] = cache.cache_location;
    v["cache.ttl"] = std::to_string(cache.ttl);
    v["cache.lookups"] = std::to_string(cache.enable_lookups ? 1 : 0);
  }
  dialer::DialForm dial = dialer::LoadDialForm();
  v["dial.retries"] = dial.retries;
  v["dial.minutes"] = dial.minutes;
  v["dial.name"] = dial.name;
  v["dial.password"] = dial.password;
  v["dial.domain"] = dial.domain;
  // The newest rule is the last one; a rule stored twice would be a renumbering cut short.
  int rules = 0;
  if (engine::ReadTotalSecurity(&rules) == 0) {
    std::set<std::string> clients;
    engine::RuleRecord rule;
    for (int i = 0; i < rules && engine::LoadRule(&rule, i) == 0; ++i)
      clients.insert(rule.ClientIP);
    if (rules > 0 && engine::LoadRule(&rule, rules - 1) == 0) v["rule.client"] = rule.ClientIP;
    v["rule.distinct"] = clients.size() == static_cast<size_t>(rules) ? "yes" : "no";
  }
  engine::ServiceEntry mapping;
  int index = MappingIndex();
  if (index >= 0 && engine::LoadServiceEntry(index, &mapping) == 0) {
    v["mapping.host"] = mapping.DefaultHost;
    v["mapping.port"] = std::to_string(mapping.DefaultHostPortNum);
    v["mapping.name"] = mapping.MappingName;
  }
  std::string master;
  if (engine::ReadMasterPassword(&master) == 0) v["master"] = master;
  return v;
}

// One line per value: its name, "old", "new" or "neither", and what is stored. 0 when every
// value is old or new.
int Check(long last) {
  Values old_values = Expected(last);
  Values new_values = Expected(last + 1);
  int status = 0;
  for (const auto& [name, text] : Stored()) {
    std::string verdict = text == new_values[name]   ? "new"
                          : text == old_values[name] ? "old"
                                                     : "neither";
    if (verdict == "neither") status = 1;
    std::printf("%s\t%s\t%s\n", name.c_str(), verdict.c_str(), text.c_str());
  }
  return status;
}

int Usage() {
  std::fprintf(stderr,
               "usage: settings_writer write FROM COUNT   (prints each generation written)\n"
               "       settings_writer check LAST\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  std::string mode = argv[1];
  long from = std::strtol(argv[2], nullptr, 10);
  if (from < 0 || from >= kMaxGeneration) return Usage();
  if (!platform::StoreAvailable()) {
    std::fprintf(stderr, "settings_writer: the store does not open\n");
    return 3;
  }
  if (mode == "check") return Check(from);
  if (mode != "write" || argc < 4 || engine::LoadRules() != 0) return Usage();
  long count = std::strtol(argv[3], nullptr, 10);
  for (long g = from + 1; g <= from + count && g <= kMaxGeneration; ++g) {
    if (WriteGeneration(g) != 0) {
      std::fprintf(stderr, "settings_writer: generation %ld was not written\n", g);
      return 1;
    }
    std::printf("%ld\n", g);
    std::fflush(stdout);
  }
  return 0;
}
