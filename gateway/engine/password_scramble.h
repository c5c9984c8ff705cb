// The stored form of passwords (the dial-up password and the master password): a reversible
// scrambling with a random key, so a stored value is not readable at a glance. Not secrecy.
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace engine {

// The longest password the stored form holds (the stored values are read 33 bytes wide).
inline constexpr size_t kMaxScrambledPassword = 31;

// mode 1: *text becomes its stored form (n + 2 characters for n of 1..31; a longer text is cut
// to 31); mode -1: a stored form becomes the password again. An empty text stays empty.
// A text that is no valid stored form (mode -1), or a password no key can store without a zero
// byte (mode 1), becomes "".
void ScramblePassword(int mode, std::string* text);

// ScramblePassword with the key generator seeded by seed instead of the clock (mode 1; mode -1
// ignores it). 0, or -1 for the failures that leave "" above and for an unknown mode (text
// untouched). An empty text gives 0.
[[nodiscard]] int ScramblePasswordSeeded(int mode, std::string* text, uint32_t seed);

}  // namespace engine
