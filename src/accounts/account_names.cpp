#include "accounts/account_names.h"

#include "common/text_case.h"

namespace corvane {

bool SameAccountName(std::string_view a, std::string_view b) { return EqualsIgnoreCase(a, b); }

std::string MapLoginName(std::string_view name)
{
    if (SameAccountName(name, kAnonymousName) || SameAccountName(name, "ftp")) return std::string(kAnonymousName);
    return std::string(name);
}

std::string AccountNameProblem(std::string_view name)
{
    if (name.empty()) return "The name is empty.";
    if (static_cast<unsigned char>(name.front()) <= ' ' || static_cast<unsigned char>(name.back()) <= ' ')
        return "The name cannot begin or end with a blank.";
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < ' ' || u == 0x7F) return "The name cannot hold control characters.";
        if (c == '[' || c == ']' || c == '=' || c == '/' || c == '\\')
            return std::string("The name cannot hold the character \"") + c + "\".";
    }
    return {};
}

std::string PasswordProblem(std::string_view password)
{
    for (char c : password) {
        unsigned char stored = static_cast<unsigned char>(~static_cast<unsigned char>(c));
        if (stored == '\r' || stored == '\n')
            return "The password holds a character that the account file cannot keep.";
    }
    return {};
}

std::string ScramblePassword(std::string_view text)
{
    std::string out(text);
    for (char& c : out) c = static_cast<char>(~static_cast<unsigned char>(c));
    return out;
}

}  // namespace corvane
