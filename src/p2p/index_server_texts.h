// The texts of the exchanges with a network's services: the lookup of the index server, the
// form bodies sent to the index server and the account service, and how their replies read.
//
// Every reply is text: three characters of status, one separator, then a message for the
// operator. Field values are form-encoded (FormEncode), so a name or password holding "&",
// "=", "+", "%" or bytes beyond ASCII reaches the service as typed; letters and digits go out
// unchanged. Pure text work; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// A reply whose first three characters are not a number counts as this status: the index
// server and the account service treat it as a refusal, the lookup as an answer.
inline constexpr int kServerNonNumberStatus = 500;
inline constexpr int kLookupNonNumberStatus = 200;

// Accepted: shorter than 4 characters, or a three-digit status below 300.
bool ReplyAccepted(std::string_view reply, int nonNumberStatus);
// The operator's part of a refusal (from the fifth character on), followed by the note that
// the account on `networkName` is disabled.
std::string RefusalMessage(std::string_view reply, const std::string& networkName);

// address/getwindex.php?username=NAME
std::string LookupUrl(std::string_view networkAddress, std::string_view userName);
// The index server named by an accepted lookup reply: the reply's address (line ends and
// blanks around it removed: they would otherwise end up inside the request line) joined
// with "v6".
std::string IndexServerUrlOfReply(std::string_view reply);
// indexServer/file.php
std::string IndexServerPostUrl(std::string_view indexServerUrl);

// What the index-server requests say about this server.
struct IndexServerFields {
    std::string userName;
    std::string password;
    std::string countryCode;
    std::string ipAddress;
    int ftpPort = 21;
    std::string connectionType;
};

// LINES of one add or withdraw request: the upload lines of `lines[start, start + count)`,
// each but the last followed by "|", each piece form-encoded.
std::string EncodedChunk(const std::vector<std::string>& lines, std::size_t start, std::size_t count);
// "input=&username=...&action=updateip"
std::string UpdateAddressBody(const IndexServerFields& fields);
enum class EntriesAction { Insert, DeleteByAddress };
// "input=" encodedLines "&username=...&zipcode=0&action=insert" (or deletebyaddress)
std::string EntriesBody(std::string_view encodedLines, const IndexServerFields& fields, EntriesAction action);

// The account registration body: "input=" country "*" zipcode "*" e-mail "&username=" ...
// "&action=insert".
std::string RegistrationBody(std::string_view countryCode, std::string_view storedZipcode, std::string_view email,
                             std::string_view userName, std::string_view password);

}  // namespace corvane
