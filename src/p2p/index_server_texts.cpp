#include "p2p/index_server_texts.h"

#include "common/url_codec.h"
#include "common/url_text.h"
#include "p2p/index_lines.h"

namespace corvane {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string FieldTail(const IndexServerFields& f)
{
    return "&username=" + FormEncode(f.userName) + "&password=" + FormEncode(f.password) +
           "&country=" + FormEncode(f.countryCode) + "&ip=" + f.ipAddress + "&port=" + std::to_string(f.ftpPort) +
           "&contype=" + FormEncode(f.connectionType) + "&version=6&protocol=" + "0" + "&zipcode=0";
}

}  // namespace

bool ReplyAccepted(std::string_view reply, int nonNumberStatus)
{
    if (reply.size() < 4) return true;
    int status = nonNumberStatus;
    if (IsDigit(reply[0]) && IsDigit(reply[1]) && IsDigit(reply[2]))
        status = (reply[0] - '0') * 100 + (reply[1] - '0') * 10 + (reply[2] - '0');
    return status < 300;
}

std::string RefusalMessage(std::string_view reply, const std::string& networkName)
{
    const std::string_view text = reply.size() > 4 ? reply.substr(4) : std::string_view();
    return std::string(text) + " P2P account (" + networkName +
           ") is disabled. To enable, go to Server -> P2P Options.";
}

std::string LookupUrl(std::string_view networkAddress, std::string_view userName)
{
    return JoinUrlPath(networkAddress, "getwindex.php?username=" + FormEncode(userName));
}

std::string IndexServerUrlOfReply(std::string_view reply)
{
    const std::size_t first = reply.find_first_not_of(" \t\r\n");
    const std::size_t last = reply.find_last_not_of(" \t\r\n");
    const std::string_view address =
        first == std::string_view::npos ? std::string_view() : reply.substr(first, last - first + 1);
    return JoinUrlPath(address, "v6");
}

std::string IndexServerPostUrl(std::string_view indexServerUrl) { return JoinUrlPath(indexServerUrl, "file.php"); }

std::string EncodedChunk(const std::vector<std::string>& lines, std::size_t start, std::size_t count)
{
    std::string out;
    const std::size_t end = std::min(lines.size(), start + count);
    for (std::size_t i = start; i < end; ++i) {
        std::string piece = UploadLineOf(lines[i]);
        if (i + 1 < end) piece += '|';
        out += FormEncode(piece);
    }
    return out;
}

std::string UpdateAddressBody(const IndexServerFields& f)
{
    return "input=&username=" + FormEncode(f.userName) + "&password=" + FormEncode(f.password) + "&ip=" + f.ipAddress +
           "&port=" + std::to_string(f.ftpPort) + "&protocol=" + "0" + "&action=updateip";
}

std::string EntriesBody(std::string_view encodedLines, const IndexServerFields& fields, EntriesAction action)
{
    return "input=" + std::string(encodedLines) + FieldTail(fields) +
           (action == EntriesAction::Insert ? "&action=insert" : "&action=deletebyaddress");
}

std::string RegistrationBody(std::string_view countryCode, std::string_view storedZipcode, std::string_view email,
                             std::string_view userName, std::string_view password)
{
    return "input=" + FormEncode(countryCode) + "*" + FormEncode(storedZipcode) + "*" + FormEncode(email) +
           "&username=" + FormEncode(userName) + "&password=" + FormEncode(password) + "&action=insert";
}

}  // namespace corvane
