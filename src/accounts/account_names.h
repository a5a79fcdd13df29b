#pragma once
// Rules for account names and passwords. Pure functions: safe from any thread.
#include <string>
#include <string_view>

namespace corvane {

inline constexpr std::string_view kAnonymousName = "Anonymous";
inline constexpr std::string_view kAllOthersGroup = "All Others";

// Case-insensitive equality of account names (ASCII case folding).
bool SameAccountName(std::string_view a, std::string_view b);

// "anonymous" and "ftp" in any case become "Anonymous"; any other name is returned unchanged.
std::string MapLoginName(std::string_view name);

// Empty when the name can be written into a section header and a file name and read back
// unchanged; otherwise the reason it cannot (empty, blanks at either end, "[", "]", "=", "/",
// "\", control characters).
std::string AccountNameProblem(std::string_view name);

// Empty when the password survives the account file byte for byte (stored as its bitwise
// complement on one line); otherwise the reason (a byte whose complement is CR or LF).
std::string PasswordProblem(std::string_view password);

// Every byte replaced by its bitwise complement; its own inverse.
std::string ScramblePassword(std::string_view text);

}  // namespace corvane
