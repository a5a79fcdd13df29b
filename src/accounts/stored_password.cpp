#include "accounts/stored_password.h"

#include "accounts/account_names.h"
#include "accounts/password_hash.h"

namespace corvane {
namespace {

// The complement of '\n': see the header.
constexpr char kHashMarker = '\xF5';

}  // namespace

StoredPassword ParseStoredPassword(std::string_view fileValue)
{
    if (fileValue.empty() || fileValue.front() != kHashMarker)
        return {StoredPassword::Form::Plain, ScramblePassword(fileValue)};
    std::string_view hash = fileValue.substr(1);
    if (IsPasswordHash(hash)) return StoredPassword::FromHash(std::string(hash));
    return {StoredPassword::Form::Unreadable, std::string(fileValue)};
}

std::string StoredPasswordFileValue(const StoredPassword& password)
{
    switch (password.form) {
    case StoredPassword::Form::Plain: return ScramblePassword(password.text);
    case StoredPassword::Form::Hashed: return kHashMarker + password.text;
    case StoredPassword::Form::Unreadable: break;
    }
    return password.text;
}

PasswordVerdict CheckStoredPassword(const StoredPassword& stored, std::string_view given)
{
    switch (stored.form) {
    case StoredPassword::Form::Plain:
        return SameSecretText(stored.text, given) ? PasswordVerdict::Accepted : PasswordVerdict::Refused;
    case StoredPassword::Form::Hashed:
        return PasswordMatchesHash(stored.text, given) ? PasswordVerdict::Accepted : PasswordVerdict::Refused;
    case StoredPassword::Form::Unreadable: break;
    }
    return PasswordVerdict::Unreadable;
}

}  // namespace corvane
