#include "accounts/password_hash.h"

#include <sodium.h>

#include <algorithm>

namespace corvane {
namespace {

constexpr std::string_view kArgon2idPrefix = "$argon2id$";

bool LibraryReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

}  // namespace

PasswordHashCost InteractivePasswordHashCost()
{
    return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE / 1024};
}

PasswordHashCost BoundedPasswordHashCost(PasswordHashCost cost)
{
    const unsigned long long fewestPasses = std::max<unsigned long long>(crypto_pwhash_OPSLIMIT_MIN, 1);
    const std::size_t leastKiB = std::max<std::size_t>(crypto_pwhash_MEMLIMIT_MIN / 1024, 8);
    // Up to 4 GiB: more than that is no login cost but a setting typed wrong.
    cost.passes = std::clamp<unsigned long long>(cost.passes, fewestPasses, 64);
    cost.memoryKiB = std::clamp<std::size_t>(cost.memoryKiB, leastKiB, std::size_t{4} * 1024 * 1024);
    return cost;
}

std::string HashPassword(std::string_view password, const PasswordHashCost& cost)
{
    if (!LibraryReady()) return {};
    const PasswordHashCost bounded = BoundedPasswordHashCost(cost);
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(hash, password.data(), password.size(), bounded.passes, bounded.memoryKiB * 1024,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        return {};
    return std::string(hash);
}

bool PasswordMatchesHash(std::string_view hash, std::string_view password)
{
    if (!LibraryReady() || !IsPasswordHash(hash) || hash.size() >= crypto_pwhash_STRBYTES) return false;
    const std::string terminated(hash);  // the library reads up to the terminating zero
    return crypto_pwhash_str_verify(terminated.c_str(), password.data(), password.size()) == 0;
}

bool IsPasswordHash(std::string_view text) { return text.substr(0, kArgon2idPrefix.size()) == kArgon2idPrefix; }

bool SameSecretText(std::string_view a, std::string_view b)
{
    unsigned char difference = a.size() == b.size() ? 0 : 1;
    const std::size_t longest = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < longest; ++i) {
        const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : 0);
        const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : 0);
        difference |= static_cast<unsigned char>(x ^ y);
    }
    return difference == 0;
}

}  // namespace corvane
