// Texts of the window's counters and status bar.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// "No users" for 0, else the count followed by " users".
std::string ClientCountText(int count);
// The FTP counter label: uploaded " UL, " downloaded " DL", each in the short size form.
std::string FtpCounterText(std::uint64_t uploaded, std::uint64_t downloaded);
// The HTTP counter label: sent " DL".
std::string HttpCounterText(std::uint64_t sent);

inline constexpr const char* kNotListeningStatus = "IP: Not listening";
// The status text of a listening service: " IP: " and the address.
std::string ListeningStatusText(const std::string& address);

}  // namespace corvane
