// What the Dial page does with its controls, without the widgets: loading and saving the
// dialler settings and the selected profile's credentials (the password in its stored,
// scrambled form), refreshing the phone-book entries, and the group caption. Console thread
// only; the dialler reads the settings afresh at each request, so a save takes effect then.
#pragma once

#include <string>
#include <vector>

namespace dialer {

inline constexpr char kE10016[] = "E-10016: Please select a profile.";
inline constexpr char kE10017[] = "E-10017: Error reading phone book.";
inline constexpr char kE10018[] =
    "E-10018: The last active profile does not exist.\n Please select another profile.";
inline constexpr char kE10023[] = "E-10023: Please enter a value greater than zero.";
inline constexpr char kIntegerMessage[] = "Please enter an integer.";
inline constexpr size_t kCaptionNameLength = 10;

// The page's values as the administrator left them.
struct DialForm {
  bool dial_on_demand = false;
  std::string retries;  // edit 1001
  bool auto_disconnect = false;
  std::string minutes;  // edit 1003
  std::string name;
  std::string password;  // as typed (clear)
  std::string domain;
  std::string profile;  // the selected phone-book entry; "" when none
};

// Which control a failed save points at.
enum class DialField { kNone, kRetries, kMinutes };

// The four settings and Profile from the store, with Profile's credentials (password
// unscrambled; all three empty when they are not stored).
[[nodiscard]] DialForm LoadDialForm();
// Shows profile's stored credentials in form (empty texts when none are stored).
void LoadCredentials(const std::string& profile, DialForm* form);

// The save step. No profile selected: E-10016 when dial-on-demand was checked (it is unchecked
// in *form), nothing written. Minutes not above 0 with Disconnect checked: E-10023. A number
// that is no integer: its message. Each failure writes nothing and gives -1 (*field says where
// the focus goes). Otherwise the four settings and Profile go to the Dialler key and the
// credentials, password scrambled, to the profile's subkey: 0.
int SaveDialForm(DialForm* form, DialField* field = nullptr);

// Refreshing the entries: *entries gets the phone book's names (E-10017, or the facility's
// text, when it cannot be read: -1). When the stored Profile is not among them, the form loses
// its credentials and dial-on-demand, an empty Profile and DialOnDemand 0 are stored and
// E-10018 is shown. The credentials of entries that no longer exist are deleted. form->profile
// becomes the stored Profile when listed, else the first entry, else "".
int RefreshProfiles(DialForm* form, std::vector<std::string>* entries);

// "Authentication for " and the entry (cut to 10 characters and "..."), or "Authentication".
[[nodiscard]] std::string AuthenticationCaption(const std::string& entry);

}  // namespace dialer
