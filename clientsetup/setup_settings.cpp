// The POP account name, the About text and the Workstation key of the utility's own settings.
#include "clientsetup/setup_settings.h"

#include "clientsetup/registry_values.h"
#include "platform/registry.h"

namespace clientsetup {
namespace {

struct StoredText {
  const char* value_name;
  std::string SetupSettings::*field;
};

// Saved in this order; the first three and the last two are separate opens of the key.
constexpr StoredText kUserTexts[] = {
    {"User Name", &SetupSettings::UserName},
    {"POP3 Server", &SetupSettings::Pop3Server},
    {"Return Address", &SetupSettings::ReturnAddress},
};
constexpr StoredText kGatewayTexts[] = {
    {"Gateway Name", &SetupSettings::GatewayName},
    {"Gateway Address", &SetupSettings::GatewayAddress},
};

template <size_t N>
long SaveTexts(const SetupSettings& settings, const StoredText (&texts)[N]) {
  platform::RegKey key;
  long rc = platform::RegCreateKey(platform::Hive::kCurrentUser, WorkstationKeyPath(), &key);
  if (rc != platform::kErrorSuccess) return rc;
  for (const StoredText& text : texts) {
    long set = platform::RegSetString(key, text.value_name, settings.*text.field);
    if (rc == platform::kErrorSuccess) rc = set;
  }
  platform::RegCloseKey(key);
  return rc;
}

template <size_t N>
void LoadTexts(const platform::RegKey& key, const StoredText (&texts)[N], SetupSettings* settings) {
  for (const StoredText& text : texts) {
    std::string value;
    if (ReadStringValue(key, text.value_name, kStoredTextBuffer, &value) ==
        platform::kErrorSuccess) {
      settings->*text.field = value;
    }
  }
}

}  // namespace

std::string PopAccountName(const SetupSettings& settings) {
  return settings.UserName + "<" + settings.Pop3Server + ">";
}

std::string WorkstationKeyPath() {
  return std::string("Software\\") + kCompanyName + "\\" + kProductName + "\\" +
         kProductVersion + "\\Workstation";
}

std::string AboutVersionText() {
  return std::string(kProductName) + " Version " + kProductVersion + " Build " + kProductBuild;
}

long LoadWorkstation(SetupSettings* settings) {
  platform::RegKey key;
  long rc = platform::RegOpenKey(platform::Hive::kCurrentUser, WorkstationKeyPath(), &key);
  if (rc != platform::kErrorSuccess) return rc;
  LoadTexts(key, kUserTexts, settings);
  LoadTexts(key, kGatewayTexts, settings);
  platform::RegCloseKey(key);
  return platform::kErrorSuccess;
}

long SaveWorkstation(const SetupSettings& settings) {
  long rc = SaveTexts(settings, kUserTexts);
  long gateway_rc = SaveTexts(settings, kGatewayTexts);
  return rc != platform::kErrorSuccess ? rc : gateway_rc;
}

}  // namespace clientsetup
