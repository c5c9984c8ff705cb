// The master password that locks the console: the prompt's check and the change dialog's
// logic, with their messages. The stored form is ScramblePassword's, in the MasterPassword
// value. Console thread; touches only the settings store (thread-safe), no state of its own.
#pragma once

#include <string>

namespace engine {

inline constexpr char kMasterPromptCaption[] = "Wayfarer's Master Password";
inline constexpr char kMasterPromptLabel[] = "Please enter the Master Password";
inline constexpr char kChangePasswordCaption[] = "Change Wayfarer's Master Password";
inline constexpr size_t kMasterPasswordInput = 31;  // characters each password edit takes

// True when a password is set, so opening the console must run the prompt first.
[[nodiscard]] bool MasterPasswordSet();
// The prompt's OK: 0 when typed is the password (open the console); -1 after E-10032
// ("Incorrect Password"), the prompt stays open.
[[nodiscard]] int CheckMasterPassword(const std::string& typed);
// The change dialog's OK: 0 when the new password has been stored (an empty one removes the
// protection) and the dialog closes; -1 after E-10031 or E-10030, or when the password cannot
// be stored, and the dialog stays open.
[[nodiscard]] int ChangeMasterPassword(const std::string& old_password,
                                       const std::string& new_password,
                                       const std::string& new_again);

}  // namespace engine
