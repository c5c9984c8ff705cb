// The administrator's deny rules in memory and the check every session makes before it
// connects out. One process-wide engine (TheAccessRules()); thread-safe: every operation takes
// lock_, but a check that needs a rule's host name resolved lets go of it for the lookup (which
// may dial), so one slow name never holds up the other sessions' checks or the console.
#pragma once

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "gateway/engine/host_lookups.h"

namespace engine {

inline constexpr int kMatchByAddress = 0;  // sessions
inline constexpr int kMatchByText = 1;     // the Security page's redundancy check
inline constexpr int kHighestRuleNumber = 10;

// How the engine turns a rule's host name into dotted text: AddressTextFor's contract
// (a dotted text is copied, a name resolved, "" when it cannot be resolved).
using AddressResolver = std::function<int(const std::string& name, std::string* text)>;

class AccessRules {
 public:
  // resolver: AddressTextFor when empty. now: the clock failed lookups are aged by.
  explicit AccessRules(
      AddressResolver resolver = {},
      std::function<HostLookups::Clock::time_point()> now = HostLookups::Clock::now);

  // 0 allowed, -1 denied. "All" is passed as the empty text. data: the HTTP request text for
  // rule number 1, else "". Mode 0 matches rules by address (resolving a named rule once and
  // keeping the result; a name whose lookup failed, now or in the last kLookupFailureMemory,
  // matches nothing), mode 1 by exact text.
  [[nodiscard]] int CheckAccess(int mode, int rule_number, const std::string& client,
                                const std::string& host, const std::string& data);
  // Puts the rule in force. 0, or -1 for a rule number outside 0..10.
  int AddRule(int rule_number, const std::string& client, const std::string& host,
              const std::string& data);
  // Takes the rule out of force (clears what AddRule set). 0, or -1 as for AddRule.
  int RemoveRule(int rule_number, const std::string& client, const std::string& host,
                 const std::string& data);
  // Forgets every rule: the state of a gateway with none (start-up, tests).
  void Clear();

 private:
  // An IPv6 address (not IPv4-mapped: those are held as IPv4); all zero when there is none.
  using Address6 = std::array<uint8_t, 16>;
  struct Endpoint {
    std::string text;       // at most 49 characters; "" stands for "All"
    in_addr_t address = 0;  // inet_addr of text; INADDR_NONE while unknown or IPv6
    Address6 address6{};    // the IPv6 address of an IPv6 text or name
    bool usable = true;     // false for good once a name proved unresolvable
  };
  struct AddressNode {
    Endpoint end;
    uint32_t mask = 0;               // bit n-1 per rule number; upper half = all services
    std::vector<AddressNode> pairs;  // client nodes only: the hosts denied to this client
  };
  struct KeywordNode {
    Endpoint client;
    Endpoint host;
    std::string keywords;  // ";"-separated as the administrator typed them
  };
  struct Wanted {
    int mode;
    std::string text;
    in_addr_t address;
    Address6 address6;
  };
  // What one check learnt about the rules' names while it ran.
  struct CheckState {
    std::string needed;           // a rule name the check must have resolved before it can allow
    std::set<std::string> tried;  // names looked up during this check (failures match nothing)
    bool final_pass = false;      // names still unknown match nothing
  };
  static constexpr int kKeywordForms = 4;  // (all, all), (all, host), (client, all), (both)

  static Wanted MakeWanted(int mode, const std::string& text);
  static Endpoint KeywordEndpoint(const std::string& text);
  int CheckLocked(int rule_number, const Wanted& client, const Wanted& host,
                  const std::string& data, CheckState* state);
  bool Matches(const Endpoint& end, const Wanted& wanted, CheckState* state);
  void ApplyLookup(const std::string& name, int result, const std::string& dotted);
  bool AnyNodeDenies(const std::vector<AddressNode>& nodes, const Wanted& wanted, int rule_number,
                     CheckState* state);
  bool ClientListDenies(const Wanted& client, const Wanted& host, int rule_number,
                        CheckState* state);
  bool KeywordsDeny(const Wanted& client, const Wanted& host, const std::string& data,
                    CheckState* state);
  void SetKeywords(const std::string& client, const std::string& host, const std::string& keywords);
  void UnlinkKeywords(const std::string& client, const std::string& host,
                      const std::string& keywords);

  AddressResolver resolver_;
  HostLookups lookups_;  // thread-safe itself; used without lock_
  std::mutex lock_;
  bool denied_services_[kHighestRuleNumber + 1] = {};      // guarded by lock_; [0] unused
  bool open_ = true;                                       // guarded by lock_
  std::vector<AddressNode> hosts_;                         // guarded by lock_
  std::vector<AddressNode> clients_;                       // guarded by lock_
  std::vector<KeywordNode> keyword_rules_[kKeywordForms];  // guarded by lock_
};

// The process-wide engine, resolving through AddressTextFor.
AccessRules& TheAccessRules();

// The engine operations on TheAccessRules(), as the sessions and the Security page call them.
[[nodiscard]] int CheckAccess(int mode, int rule_number, const std::string& client_address,
                              const std::string& host_address, const std::string& data);
int AddRule(int rule_number, const std::string& client, const std::string& host,
            const std::string& data);
int RemoveRule(int rule_number, const std::string& client, const std::string& host,
               const std::string& data);

}  // namespace engine
