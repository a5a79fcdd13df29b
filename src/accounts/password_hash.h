// Argon2id password hashes: the only code that calls the hashing library.
//
// Safe from any thread. Hashing and checking take tens of milliseconds and, at the default
// cost, 64 MiB each while they run: the server thread hands them to a worker.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// What one hash costs: passes over its memory and the memory it fills.
struct PasswordHashCost {
    unsigned long long passes = 2;
    std::size_t memoryKiB = 64 * 1024;
};

// The library's interactive limits, meant for a login that a person waits for.
PasswordHashCost InteractivePasswordHashCost();
// The cost brought within what the library accepts (at least 1 pass and 8 KiB).
PasswordHashCost BoundedPasswordHashCost(PasswordHashCost cost);

// The hash text, "$argon2id$..." with its own salt and cost; empty when it could not be made
// (the memory could not be had).
std::string HashPassword(std::string_view password, const PasswordHashCost& cost);
// True when `password` is the one `hash` was made from, checked in constant time. A text that
// is no hash of this kind checks false.
bool PasswordMatchesHash(std::string_view hash, std::string_view password);
// True when the text has the form of a hash that PasswordMatchesHash checks.
bool IsPasswordHash(std::string_view text);
// Compares two texts in a time that depends only on their lengths.
bool SameSecretText(std::string_view a, std::string_view b);

}  // namespace corvane
