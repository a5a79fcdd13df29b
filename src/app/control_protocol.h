// What travels over the control socket. A request is the password field ("-" for none, or
// "+" and the password) and then the command's words; a reply is the exit status, the
// standard output text and the standard error text. Each field is its length in decimal, ":",
// and its bytes, so that any byte (a password's included) travels unchanged. The command side
// ends its request by closing its sending half; the server ends its reply by closing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/admin_commands.h"

namespace corvane {

inline constexpr const char* kControlSocketName = "control.sock";
inline constexpr std::size_t kControlMessageLimit = 1 << 20;

std::string EncodeFields(const std::vector<std::string>& fields);
// None when the text is not a whole sequence of fields.
std::optional<std::vector<std::string>> DecodeFields(const std::string& text);

std::string EncodeRequest(const AdminRequest& request);
std::optional<AdminRequest> DecodeRequest(const std::string& text);
std::string EncodeReply(const AdminReply& reply);
std::optional<AdminReply> DecodeReply(const std::string& text);

}  // namespace corvane
