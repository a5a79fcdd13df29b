// The sign-up dialog's rules (the window draws the dialog and drives this model): the fields,
// the key filter of the name and password fields, and the checks of "Sign in" / "Apply".
//
// Window thread only. The form works on a copy of the network entry; the options model writes
// the confirmed account back into the list.
#pragma once

#include <optional>
#include <string>

#include "p2p/p2p_network_list.h"

namespace corvane {

inline constexpr const char* kNameKeyRefusedText = "Please use alphanumeric characters only (i.e. letters and numbers";
inline constexpr const char* kExistingUserHelpText =
    "If you are an old Dravik P2P/Corvane user having a Brinvale P2P username and password, simply check this box and "
    "enter your existing username/password below.";

// The key filter of the user name, password, retype and e-mail fields: false (show
// kNameKeyRefusedText as a warning and drop the key) for a blank, '"', '#', '&', '*' and ';'.
bool NameKeyAllowed(char key);

struct SignUpFields {
    std::string userName;
    std::string password;
    std::string retypedPassword;
    bool existingUser = false;  // "I am an existing user"
};

class SignUpForm {
public:
    enum class Mode { Register, Edit };
    // Register mode starts with empty fields; edit mode with the entry's user name, its
    // password in both password fields and "I am an existing user" as the entry is marked.
    SignUpForm(Mode mode, const P2PNetwork& network);

    Mode mode() const { return mode_; }
    // "Register to NAME" or "Edit your NAME Account".
    std::string Caption() const;
    // "Sign in" or "Apply".
    std::string ConfirmButton() const;
    // What the window shows when it opens the dialog, and keeps as the operator types.
    SignUpFields& Fields() { return fields_; }

    // The confirm button, or Enter in any of the three fields. Checks the rules in order; the
    // first that fails gives its warning text (the window shows it and keeps the dialog open;
    // the password rules have emptied both password fields). When all pass: nothing, the
    // entry copy holds the user name, the password and the existing-account mark, and the
    // dialog closes as confirmed.
    std::optional<std::string> Confirm();
    bool Confirmed() const { return confirmed_; }
    // The entry with the confirmed account (unchanged until Confirm succeeded).
    const P2PNetwork& Network() const { return network_; }

private:
    Mode mode_;
    P2PNetwork network_;
    SignUpFields fields_;
    bool confirmed_ = false;
};

}  // namespace corvane
