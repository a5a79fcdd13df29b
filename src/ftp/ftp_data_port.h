// The texts of the data-connection commands: the parameters of PORT and the address of the
// PASV reply. Texts only; the commands themselves are TFtpServer::CommandPORT and CommandPASV.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

// PORT's six numbers h1,h2,h3,h4,p1,p2. Each may be surrounded by blanks or tabs; an empty field
// counts as 0, and fields missing at the end count as 0 (so five numbers give a port p1 * 256).
struct TFtpPortParams {
    unsigned fields[6] = {0, 0, 0, 0, 0, 0};
    std::string Address() const;  // h1.h2.h3.h4
    long Port() const { return static_cast<long>(fields[4]) * 256 + fields[5]; }
    bool FieldsAreBytes() const;  // every field is at most 255
};

// Reads PORT's parameters; nullopt when a character other than a digit, a blank or a tab stands
// where a number or a comma should, or when more than six fields are given.
std::optional<TFtpPortParams> ParsePortParams(const std::string& params);

// A dotted IPv4 address of four decimal numbers 0 to 255; nullopt for anything else and for
// 255.255.255.255, which names no host.
std::optional<std::uint32_t> ParsePasvAddress(const std::string& text);

// "227 Entering Passive Mode (a,b,c,d,p1,p2)."
std::string PassiveModeReply(std::uint32_t address, int port);

}  // namespace corvane
