#include "core/sign_up_form.h"

namespace corvane {
namespace {

constexpr std::size_t kMostUserNameLength = 16;
constexpr std::size_t kMostPasswordLength = 8;

bool EndsInUnderscoreP(const std::string& name)
{
    return name.size() >= 2 && name[name.size() - 2] == '_' && (name.back() == 'p' || name.back() == 'P');
}

}  // namespace

bool NameKeyAllowed(char key)
{
    switch (key) {
    case ' ':
    case '"':
    case '#':
    case '&':
    case '*':
    case ';': return false;
    default: return true;
    }
}

SignUpForm::SignUpForm(Mode mode, const P2PNetwork& network)
    : mode_(mode),
      network_(network)
{
    if (mode_ == Mode::Edit) {
        fields_.userName = network_.userName;
        fields_.password = network_.password;
        fields_.retypedPassword = network_.password;
        // An account the network already knows opens as one: confirming the edit then keeps
        // it instead of asking the account service to create it a second time.
        fields_.existingUser = network_.existingAccount;
    }
}

std::string SignUpForm::Caption() const
{
    return mode_ == Mode::Register ? "Register to " + network_.name : "Edit your " + network_.name + " Account";
}

std::string SignUpForm::ConfirmButton() const { return mode_ == Mode::Register ? "Sign in" : "Apply"; }

std::optional<std::string> SignUpForm::Confirm()
{
    const auto refusePasswords = [this](const char* text) {
        fields_.password.clear();
        fields_.retypedPassword.clear();
        return std::optional<std::string>(text);
    };
    if (fields_.userName.empty()) return "Username cannot be empty. Please re-enter the username.";
    if (fields_.userName.size() > kMostUserNameLength)
        return "Username cannot exceed 16 characters; Please re-enter the password fields.";
    if (EndsInUnderscoreP(fields_.userName))
        return "Username cannot have \"_p\" at the end; Please re-enter the username.";
    if (fields_.password.empty()) return "Password field cannot be empty; Please re-enter the password.";
    if (fields_.password.size() > kMostPasswordLength)
        return refusePasswords("Password cannot exceed 8 characters; Please re-enter the password fields.");
    if (!fields_.existingUser && fields_.retypedPassword != fields_.password)
        return refusePasswords("Passwords do not match; Please re-enter the password fields.");
    network_.userName = fields_.userName;
    network_.password = fields_.password;
    network_.existingAccount = fields_.existingUser;
    confirmed_ = true;
    return std::nullopt;
}

}  // namespace corvane
