// The deny-rule engine: which store a rule goes to, the check in its two matching modes, and
// the lazy resolution of rules given by host name, which happens with lock_ let go.
#include "gateway/engine/access_rules.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "gateway/engine/dial_context.h"
#include "gateway/engine/session_account.h"
#include "gateway/engine/settings_records.h"

namespace engine {
namespace {

constexpr in_addr_t kUnknownAddress = INADDR_NONE;
constexpr uint32_t kAllServices = 0xFFFF0000u;
constexpr size_t kNodeTextLength = kRuleAddressWidth - 1;

// Where a rule is kept, by the decision table below.
enum Store {
  kStoreDeniedServices = 1,
  kStoreHostList = 2,
  kStoreClientList = 3,
  kStorePairList = 4,
  kStoreOpenFlag = 5,
  kStoreKeywords = 6,
};

// Indexed by the form index 8 - h - 3c (c, h: 1 when client, host is "All"), plus 9 for rule
// number 0. Positions 0-3 and 9-12 belong to no form.
constexpr int kDecisionTable[18] = {1, 1, 2, 1, 1, 2, 3, 3, 4, 5, 5, 2, 5, 5, 2, 3, 3, 4};

int StoreFor(int rule_number, const std::string& client, const std::string& host,
             const std::string& data) {
  if (rule_number == 1 && !data.empty()) return kStoreKeywords;
  const int form = 8 - (host.empty() ? 1 : 0) - 3 * (client.empty() ? 1 : 0);
  return kDecisionTable[rule_number == 0 ? form + 9 : form];
}

// The bits a rule sets or clears: all services for rule number 0.
uint32_t RuleBits(int rule_number) {
  return rule_number == 0 ? kAllServices : 1u << (rule_number - 1);
}

// A node denies rule number n when it denies all services or has n's own bit.
bool MaskDenies(uint32_t mask, int rule_number) {
  if ((mask & kAllServices) == kAllServices) return true;
  return rule_number >= 1 && rule_number <= kHighestRuleNumber &&
         (mask & (1u << (rule_number - 1))) != 0;
}

// Node texts are 50-byte fields in the stored form: longer texts are cut.
std::string FieldText(const std::string& text) { return text.substr(0, kNodeTextLength); }

bool ContainsIgnoringCase(const std::string& haystack, const std::string& needle) {
  auto same = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  };
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(), same) !=
         haystack.end();
}

// Keywords are split at ";"; empty ones (";;", a trailing ";") match nothing.
bool AnyKeywordIn(const std::string& keywords, const std::string& data) {
  size_t start = 0;
  while (start <= keywords.size()) {
    size_t end = keywords.find(';', start);
    if (end == std::string::npos) end = keywords.size();
    if (end > start && ContainsIgnoringCase(data, keywords.substr(start, end - start))) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

int KeywordForm(const std::string& client, const std::string& host) {
  return (client.empty() ? 0 : 2) + (host.empty() ? 0 : 1);
}

// IPv6 text as its 16 bytes; an IPv4-mapped address gives its IPv4 address in *v4 instead.
// false when text is no IPv6 text.
bool ParseIpv6(const std::string& text, std::array<uint8_t, 16>* v6, in_addr_t* v4) {
  in6_addr a{};
  if (inet_pton(AF_INET6, text.c_str(), &a) != 1) return false;
  if (IN6_IS_ADDR_V4MAPPED(&a)) {
    std::memcpy(v4, a.s6_addr + 12, 4);
  } else {
    std::memcpy(v6->data(), a.s6_addr, 16);
  }
  return true;
}

// An endpoint's address from its text: IPv4 (inet_addr, as the rules were always read) or
// IPv6; INADDR_NONE and no IPv6 address for a name.
template <typename End>
void SetAddress(End* end, const std::string& text) {
  end->address = inet_addr(text.c_str());
  end->address6 = {};
  if (end->address == kUnknownAddress) ParseIpv6(text, &end->address6, &end->address);
}

}  // namespace

AccessRules::AccessRules(AddressResolver resolver,
                         std::function<HostLookups::Clock::time_point()> now)
    : resolver_(std::move(resolver)), lookups_(std::move(now)) {
  if (!resolver_) resolver_ = AddressTextFor;
}

AccessRules::Wanted AccessRules::MakeWanted(int mode, const std::string& text) {
  Wanted wanted{mode, FieldText(text), kUnknownAddress, {}};
  if (mode == kMatchByAddress) {
    SetAddress(&wanted, text);
  }
  return wanted;
}

bool AccessRules::Matches(const Endpoint& end, const Wanted& wanted, CheckState* state) {
  if (wanted.mode != kMatchByAddress) return end.text == wanted.text;
  const bool wanted_v6 = wanted.address6 != Address6{};
  // A text that is not an address (or a failed lookup's) matches no rule.
  if ((wanted.address == kUnknownAddress && !wanted_v6) || !end.usable) return false;
  if (end.address == kUnknownAddress && end.address6 == Address6{}) {
    // The name is looked up outside the lock (CheckAccess); until then it matches nothing.
    if (!state->final_pass && state->needed.empty() && !state->tried.contains(end.text)) {
      state->needed = end.text;
    }
    return false;
  }
  return wanted_v6 ? end.address6 == wanted.address6 : end.address == wanted.address;
}

// Every node holding name takes the lookup's result. Getting the text itself back means it is
// no name that can ever resolve. A failed lookup keeps the address unknown, so a check after
// the failure memory ends tries again: a rule must not lapse for good because the link was down
// once.
void AccessRules::ApplyLookup(const std::string& name, int result, const std::string& dotted) {
  if (result != 0) return;
  auto apply = [&](Endpoint* end) {
    if (end->text != name || end->address != kUnknownAddress || end->address6 != Address6{} ||
        !end->usable) {
      return;
    }
    if (dotted == end->text) {
      end->usable = false;
    } else {
      SetAddress(end, dotted);
    }
  };
  for (AddressNode& node : hosts_) apply(&node.end);
  for (AddressNode& node : clients_) {
    apply(&node.end);
    for (AddressNode& pair : node.pairs) apply(&pair.end);
  }
  for (std::vector<KeywordNode>& list : keyword_rules_) {
    for (KeywordNode& node : list) {
      apply(&node.client);
      apply(&node.host);
    }
  }
}

// Every node matching the wanted text or address counts, so a host given once by name and
// once by address is denied by the rules of both.
bool AccessRules::AnyNodeDenies(const std::vector<AddressNode>& nodes, const Wanted& wanted,
                                int rule_number, CheckState* state) {
  for (const AddressNode& node : nodes) {
    if (Matches(node.end, wanted, state) && MaskDenies(node.mask, rule_number)) return true;
  }
  return false;
}

bool AccessRules::ClientListDenies(const Wanted& client, const Wanted& host, int rule_number,
                                   CheckState* state) {
  for (const AddressNode& node : clients_) {
    if (!Matches(node.end, client, state)) continue;
    if (MaskDenies(node.mask, rule_number)) return true;
    // Rule number 0 (only the redundancy check asks it) also looks at the pairs, so a second
    // all-services rule for the same client and host is refused like any other duplicate.
    if (AnyNodeDenies(node.pairs, host, rule_number, state)) return true;
  }
  return false;
}

bool AccessRules::KeywordsDeny(const Wanted& client, const Wanted& host, const std::string& data,
                               CheckState* state) {
  for (int form = 0; form < kKeywordForms; ++form) {
    for (const KeywordNode& node : keyword_rules_[form]) {
      // The "All" side of a form matches every client or host.
      if ((form & 2) != 0 && !Matches(node.client, client, state)) continue;
      if ((form & 1) != 0 && !Matches(node.host, host, state)) continue;
      if (client.mode == kMatchByAddress) {
        if (AnyKeywordIn(node.keywords, data)) return true;
      } else if (node.keywords + ";" == data || node.keywords == data) {
        return true;
      }
    }
  }
  return false;
}

int AccessRules::CheckLocked(int rule_number, const Wanted& client, const Wanted& host,
                             const std::string& data, CheckState* state) {
  if (!open_) return -1;
  if (rule_number >= 1 && rule_number <= kHighestRuleNumber && denied_services_[rule_number]) {
    return -1;
  }
  if (AnyNodeDenies(hosts_, host, rule_number, state)) return -1;
  if (ClientListDenies(client, host, rule_number, state)) return -1;
  if (rule_number == 1 && !data.empty() && KeywordsDeny(client, host, data, state)) return -1;
  return 0;
}

// A check that meets a rule name not resolved yet lets go of the lock, has it resolved (or
// waits, without the lock, for the lookup another thread already runs) and looks again. Each
// round resolves a new name; the last round takes names still unknown as matching nothing.
int AccessRules::CheckAccess(int mode, int rule_number, const std::string& client,
                             const std::string& host, const std::string& data) {
  constexpr int kLookupRounds = 16;
  const Wanted wanted_client = MakeWanted(mode, client);
  const Wanted wanted_host = MakeWanted(mode, host);
  CheckState state;
  for (int round = 0;; ++round) {
    std::string name;
    {
      std::lock_guard<std::mutex> hold(lock_);
      state.final_pass = round == kLookupRounds;
      const int result = CheckLocked(rule_number, wanted_client, wanted_host, data, &state);
      if (result != 0 || state.needed.empty()) return result;
      name.swap(state.needed);
    }
    state.tried.insert(name);
    std::string dotted;
    const int result = lookups_.Resolve(name, &dotted, resolver_);
    std::lock_guard<std::mutex> hold(lock_);
    ApplyLookup(name, result, dotted);
  }
}

namespace {

// The node for text, made on first use.
template <typename Node>
Node* FindOrAdd(std::vector<Node>* nodes, const std::string& text) {
  const std::string field = FieldText(text);
  for (Node& node : *nodes) {
    if (node.end.text == field) return &node;
  }
  Node& made = nodes->emplace_back();
  made.end.text = field;
  SetAddress(&made.end, field);
  return &made;
}

template <typename Node>
Node* Find(std::vector<Node>* nodes, const std::string& text) {
  const std::string field = FieldText(text);
  for (Node& node : *nodes) {
    if (node.end.text == field) return &node;
  }
  return nullptr;
}

}  // namespace

int AccessRules::AddRule(int rule_number, const std::string& client, const std::string& host,
                         const std::string& data) {
  if (rule_number < 0 || rule_number > kHighestRuleNumber) return -1;
  std::lock_guard<std::mutex> hold(lock_);
  const uint32_t bits = RuleBits(rule_number);
  switch (StoreFor(rule_number, client, host, data)) {
    case kStoreDeniedServices:
      denied_services_[rule_number] = true;
      break;
    case kStoreOpenFlag:
      open_ = false;
      break;
    case kStoreHostList:
      FindOrAdd(&hosts_, host)->mask |= bits;
      break;
    case kStoreClientList:
      FindOrAdd(&clients_, client)->mask |= bits;
      break;
    case kStorePairList:
      FindOrAdd(&FindOrAdd(&clients_, client)->pairs, host)->mask |= bits;
      break;
    case kStoreKeywords:
      SetKeywords(client, host, data);
      break;
  }
  return 0;
}

int AccessRules::RemoveRule(int rule_number, const std::string& client, const std::string& host,
                            const std::string& data) {
  if (rule_number < 0 || rule_number > kHighestRuleNumber) return -1;
  std::lock_guard<std::mutex> hold(lock_);
  const uint32_t bits = RuleBits(rule_number);
  AddressNode* node = nullptr;
  switch (StoreFor(rule_number, client, host, data)) {
    case kStoreDeniedServices:
      denied_services_[rule_number] = false;
      break;
    case kStoreOpenFlag:
      open_ = true;
      break;
    case kStoreHostList:
      node = Find(&hosts_, host);
      break;
    case kStoreClientList:
      node = Find(&clients_, client);
      break;
    case kStorePairList:
      if (AddressNode* owner = Find(&clients_, client)) node = Find(&owner->pairs, host);
      break;
    case kStoreKeywords:
      UnlinkKeywords(client, host, data);
      break;
  }
  if (node != nullptr) node->mask &= ~bits;
  return 0;
}

AccessRules::Endpoint AccessRules::KeywordEndpoint(const std::string& text) {
  Endpoint end;
  end.text = FieldText(text);
  SetAddress(&end, end.text);
  // In keyword nodes 0 (0.0.0.0) cannot stand for an address; it is taken as unknown.
  if (end.address == 0) end.address = kUnknownAddress;
  return end;
}

// One keyword node per stored rule: a second keyword rule for the same client and host stands
// beside the first, and removing one leaves the other in force.
void AccessRules::SetKeywords(const std::string& client, const std::string& host,
                              const std::string& keywords) {
  KeywordNode& made = keyword_rules_[KeywordForm(client, host)].emplace_back();
  made.client = KeywordEndpoint(client);
  made.host = KeywordEndpoint(host);
  made.keywords = keywords;
}

// Unlinks one node with exactly these texts (two equal rules are two nodes).
void AccessRules::UnlinkKeywords(const std::string& client, const std::string& host,
                                 const std::string& keywords) {
  std::vector<KeywordNode>& list = keyword_rules_[KeywordForm(client, host)];
  const std::string client_field = FieldText(client);
  const std::string host_field = FieldText(host);
  auto it = std::find_if(list.begin(), list.end(), [&](const KeywordNode& node) {
    return node.client.text == client_field && node.host.text == host_field &&
           node.keywords == keywords;
  });
  if (it != list.end()) list.erase(it);
}

void AccessRules::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  std::fill(std::begin(denied_services_), std::end(denied_services_), false);
  open_ = true;
  hosts_.clear();
  clients_.clear();
  for (std::vector<KeywordNode>& list : keyword_rules_) list.clear();
}

AccessRules& TheAccessRules() {
  static AccessRules rules;
  return rules;
}

int CheckAccess(int mode, int rule_number, const std::string& client_address,
                const std::string& host_address, const std::string& data) {
  const int verdict =
      TheAccessRules().CheckAccess(mode, rule_number, client_address, host_address, data);
  if (verdict != 0) NoteSessionEnding(kEndDenied);  // the session's line says why it ended
  return verdict;
}

int AddRule(int rule_number, const std::string& client, const std::string& host,
            const std::string& data) {
  return TheAccessRules().AddRule(rule_number, client, host, data);
}

int RemoveRule(int rule_number, const std::string& client, const std::string& host,
               const std::string& data) {
  return TheAccessRules().RemoveRule(rule_number, client, host, data);
}

}  // namespace engine
