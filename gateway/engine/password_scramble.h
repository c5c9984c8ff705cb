// The stored form of passwords (the dial-up password and the master password): a reversible
// scrambling with a random key, so a stored value is not readable at a glance. Not secrecy.
// Pure functions; any thread.
#pragma once

#include <string>

namespace engine {

// mode 1: *text becomes its stored form (n + 2 characters for n of 1..31);
// mode -1: a stored form becomes the password again. An empty text stays empty.
void ScramblePassword(int mode, std::string* text);

}  // namespace engine
