// The master password's check and change against the stored form in the License key.
#include "gateway/engine/master_password.h"

#include <cstdio>

#include "gateway/engine/password_scramble.h"
#include "gateway/engine/settings_records.h"
#include "platform/admin_message.h"

namespace engine {
namespace {

using platform::MessageIcon;

constexpr char kIncorrectCaption[] = "Incorrect Password";
constexpr char kIncorrectText[] =
    "E-10032: The password entered is incorrect.\nPlease re-enter the password.";
constexpr char kOldMismatchCaption[] = "Old Password Mismatch";
constexpr char kOldMismatchText[] =
    "E-10031: Old password does not match.\nPlease re-enter old password.";
constexpr char kNewMismatchCaption[] = "New Passwords Mismatch";
constexpr char kNewMismatchText[] =
    "E-10030: New passwords do not match.\nPlease re-enter new passwords.";

constexpr char kUnreadableLog[] =
    "Wayfarer: the stored master password cannot be read back, so no password opens the "
    "console; to clear it: wayfarer-reg delete "
    "'HKLM\\Software\\Wayfarer Computer Products Ltd.\\Wayfarer\\2.0\\License' "
    "MasterPassword\n";

// The password now set: "" when none is (no value, or an empty one). A stored value that does
// not unscramble is a password set but unknown: false, and no typed text can equal it.
bool CurrentPassword(std::string* password) {
  (void)ReadMasterPassword(password);
  if (password->empty()) return true;
  if (ScramblePasswordSeeded(-1, password, 0) == 0 && !password->empty()) return true;
  std::fputs(kUnreadableLog, stderr);
  return false;
}

// True when typed is the password now set.
bool IsCurrentPassword(const std::string& typed) {
  std::string current;
  return CurrentPassword(&current) && typed == current;
}

std::string Typed(const std::string& text) { return text.substr(0, kMasterPasswordInput); }

}  // namespace

bool MasterPasswordSet() {
  std::string stored;
  return ReadMasterPassword(&stored) == 0 && !stored.empty();
}

int CheckMasterPassword(const std::string& typed) {
  if (IsCurrentPassword(Typed(typed))) return 0;
  platform::ShowAdminMessage(kIncorrectCaption, kIncorrectText, MessageIcon::kExclamation);
  return -1;
}

int ChangeMasterPassword(const std::string& old_password, const std::string& new_password,
                         const std::string& new_again) {
  if (!IsCurrentPassword(Typed(old_password))) {
    platform::ShowAdminMessage(kOldMismatchCaption, kOldMismatchText, MessageIcon::kExclamation);
    return -1;
  }
  if (Typed(new_password) != Typed(new_again)) {
    platform::ShowAdminMessage(kNewMismatchCaption, kNewMismatchText, MessageIcon::kExclamation);
    return -1;
  }
  std::string stored = Typed(new_password);
  ScramblePassword(1, &stored);
  // A password no key can store comes back empty: writing that would silently remove the
  // protection the administrator just asked for.
  if (stored.empty() && !new_password.empty()) return -1;
  return WriteMasterPassword(stored);
}

}  // namespace engine
