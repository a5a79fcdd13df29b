#include "ftp/ftp_extended_port.h"

#include <cctype>

#include "common/ip_text.h"
#include "ftp/ftp_data_port.h"

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

long ControlProtocol(const std::string& peerAddr) { return LooksIPv6(peerAddr) ? 2 : 1; }

std::string ProtocolNotSupportedReply(long workingProtocol)
{
    return "522 Network protocol not supported, use (" + std::to_string(workingProtocol) + ")";
}

std::optional<std::string> EprtAddressText(const TFtpEprtParams& params)
{
    if (params.protocol == 1) {
        const auto address = ParsePasvAddress(params.address);
        if (!address || *address == 0) return std::nullopt;
        const std::uint32_t a = *address;
        return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." + std::to_string((a >> 8) & 255) +
               "." + std::to_string(a & 255);
    }
    if (params.protocol != 2) return std::nullopt;
    const auto address = ParseIPv6(params.address);
    std::uint32_t v4 = 0;
    if (!address || *address == IPv6Bytes{} || IsIPv4Mapped(*address, v4)) return std::nullopt;
    return FormatIPv6(*address);
}

std::string ExtendedPassiveReply(int port)
{
    return "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)";
}

}  // namespace corvane
