#include "ftp/ftp_extended_port.h"

#include <cctype>

namespace corvane {
namespace {

std::optional<long> DecimalField(std::string_view text)
{
    if (text.empty()) return std::nullopt;
    long value = 0;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 100000) value = 100000;
    }
    return value;
}

}  // namespace

std::optional<TFtpEprtParams> ParseEprtParams(std::string_view params)
{
    if (params.size() < 4) return std::nullopt;
    const char delimiter = params[0];
    if (delimiter <= ' ' || delimiter > '~') return std::nullopt;
    std::string_view fields[3];
    std::string_view rest = params.substr(1);
    for (std::string_view& field : fields) {
        const std::size_t end = rest.find(delimiter);
        if (end == std::string_view::npos) return std::nullopt;
        field = rest.substr(0, end);
        rest.remove_prefix(end + 1);
    }
    if (!rest.empty() || fields[1].empty()) return std::nullopt;
    const auto protocol = DecimalField(fields[0]);
    const auto port = DecimalField(fields[2]);
    if (!protocol || !port) return std::nullopt;
    return TFtpEprtParams{*protocol, std::string(fields[1]), *port};
}

std::string ExtendedPassiveReply(int port)
{
    return "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)";
}

}  // namespace corvane
