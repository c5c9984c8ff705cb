// The Dial page's settings, credentials and phone-book refresh.
#include "gateway/dialer/dial_page_rules.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "gateway/dialer/dial_state.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/gateway_app.h"
#include "gateway/engine/password_scramble.h"
#include "gateway/engine/settings_records.h"
#include "gateway/engine/store_access.h"
#include "platform/admin_message.h"

namespace dialer {
namespace {

void Report(const std::string& text, platform::MessageIcon icon) {
  platform::ShowAdminMessage(engine::kAppCaption, text, icon);
}

int ParseInteger(const std::string& text, int* out) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(begin, &end, 10);
  if (end == begin || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return -1;
  while (*end == ' ') ++end;
  if (*end != '\0') return -1;
  *out = static_cast<int>(value);
  return 0;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Store key names are case-insensitive: an entry differing only in case is the same key.
bool Listed(const std::vector<std::string>& entries, const std::string& name) {
  const std::string key = Lower(name);
  return std::any_of(entries.begin(), entries.end(),
                     [&](const std::string& e) { return Lower(e) == key; });
}

long ReadEntries(std::vector<std::string>* entries) {
  Dialer& d = TheDialer();
  std::lock_guard lock(d.lock);
  if (d.facility == nullptr) return platform::kDialErrorNotBound;
  return d.facility->EnumEntries(entries);
}

void DeleteStaleCredentials(const std::vector<std::string>& entries) {
  platform::RegKey key;
  if (engine::OpenSubkey(engine::kKeyDialler, "", /*create=*/false, &key) != 0) return;
  std::vector<std::string> stale;
  std::string name;
  for (uint32_t i = 0; platform::RegEnumKey(key, i, &name) == platform::kErrorSuccess; ++i) {
    if (!Listed(entries, name)) stale.push_back(name);
  }
  for (const std::string& s : stale) (void)platform::RegDeleteKey(key, s);
  platform::RegCloseKey(key);
}

}  // namespace

void LoadCredentials(const std::string& profile, DialForm* form) {
  std::string name, password, domain;
  if (engine::LoadProfileCredentials(profile, &name, &password, &domain) != 0) {
    name.clear();
    password.clear();
    domain.clear();
  }
  engine::ScramblePassword(-1, &password);
  form->name = name;
  form->password = password;
  form->domain = domain;
}

DialForm LoadDialForm() {
  engine::DiallerSettings settings;
  (void)engine::LoadDiallerSettings(&settings);
  DialForm form;
  form.dial_on_demand = settings.DialOnDemand != 0;
  form.retries = std::to_string(settings.Retires);
  form.auto_disconnect = settings.AutoDisconnect != 0;
  form.minutes = std::to_string(settings.Minutes);
  form.profile = settings.Profile;
  LoadCredentials(settings.Profile, &form);
  return form;
}

int SaveDialForm(DialForm* form, DialField* field) {
  if (field != nullptr) *field = DialField::kNone;
  int retries = 0;
  int minutes = 0;
  if (ParseInteger(form->retries, &retries) != 0) {
    if (field != nullptr) *field = DialField::kRetries;
    Report(kIntegerMessage, platform::MessageIcon::kExclamation);
    return -1;
  }
  if (ParseInteger(form->minutes, &minutes) != 0) {
    if (field != nullptr) *field = DialField::kMinutes;
    Report(kIntegerMessage, platform::MessageIcon::kExclamation);
    return -1;
  }
  if (form->profile.empty()) {
    if (form->dial_on_demand) {
      form->dial_on_demand = false;
      Report(kE10016, platform::MessageIcon::kExclamation);
    }
    return -1;
  }
  if (form->auto_disconnect && minutes <= 0) {
    if (field != nullptr) *field = DialField::kMinutes;
    Report(kE10023, platform::MessageIcon::kExclamation);
    return -1;
  }
  engine::DiallerSettings settings;
  settings.DialOnDemand = form->dial_on_demand ? 1 : 0;
  settings.Retires = retries;
  settings.AutoDisconnect = form->auto_disconnect ? 1 : 0;
  settings.Minutes = minutes;
  settings.Profile = form->profile;
  (void)engine::SaveDiallerSettings(settings);
  std::string stored = form->password;
  engine::ScramblePassword(1, &stored);
  (void)engine::SaveProfileCredentials(form->profile, form->name, stored, form->domain);
  return 0;
}

int RefreshProfiles(DialForm* form, std::vector<std::string>* entries) {
  entries->clear();
  long rc = ReadEntries(entries);
  if (rc != 0) {
    entries->clear();
    std::string text;
    Report(platform::DialErrorString(rc, &text) == 0 ? text : kE10017,
           platform::MessageIcon::kError);
    return -1;
  }
  engine::DiallerSettings settings;
  (void)engine::LoadDiallerSettings(&settings);
  const bool listed =
      std::find(entries->begin(), entries->end(), settings.Profile) != entries->end();
  if (!settings.Profile.empty() && !listed) {
    form->name.clear();
    form->password.clear();
    form->domain.clear();
    form->dial_on_demand = false;
    settings.Profile.clear();
    settings.DialOnDemand = 0;
    (void)engine::SaveDiallerSettings(settings);
    Report(kE10018, platform::MessageIcon::kExclamation);
  }
  DeleteStaleCredentials(*entries);
  form->profile = listed ? settings.Profile : (entries->empty() ? "" : entries->front());
  LoadCredentials(form->profile, form);
  return 0;
}

std::string AuthenticationCaption(const std::string& entry) {
  if (entry.empty()) return "Authentication";
  if (entry.size() > kCaptionNameLength) {
    return "Authentication for " + entry.substr(0, kCaptionNameLength) + "...";
  }
  return "Authentication for " + entry;
}

}  // namespace dialer
