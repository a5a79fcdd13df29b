// How an account's password is kept, in memory and in usersgroups.ini.
//
// In the file a password is either the password scrambled (every byte complemented), as all
// earlier versions wrote it, or a hash behind a marker byte. The marker is the complement of a
// line feed, so a build that knows only scrambled passwords reads a hash as a password that
// starts with a line feed: no FTP command line can carry it, and that build refuses every
// login to the account instead of taking an empty or any password. Saved again by such a
// build, the value is written back byte for byte (its scrambling is its own inverse).
#pragma once

#include <string>
#include <string_view>

namespace corvane {

struct StoredPassword {
    enum class Form {
        Plain,      // read from an earlier version's file (or never set): hashed at the next save
        Hashed,     // an Argon2id hash
        Unreadable  // behind the hash marker, but of a kind this build does not know
    };
    Form form = Form::Plain;
    std::string text;  // the password, the hash, or the file's value as it was

    static StoredPassword FromHash(std::string hash) { return {Form::Hashed, std::move(hash)}; }
    bool operator==(const StoredPassword&) const = default;
};

// The password as read from the file's raw value, and the value written for it.
StoredPassword ParseStoredPassword(std::string_view fileValue);
std::string StoredPasswordFileValue(const StoredPassword& password);

enum class PasswordVerdict { Accepted, Refused, Unreadable };

// Checks the password a client gave; a hash is checked in constant time, and so is a plain one.
PasswordVerdict CheckStoredPassword(const StoredPassword& stored, std::string_view given);

// The reply for an account whose stored password this build cannot check.
inline constexpr const char* kUnreadablePasswordReply =
    "530 The password of this account is stored in a form this version cannot check; set it again.";

}  // namespace corvane
