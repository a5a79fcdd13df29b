#include "core/status_texts.h"

#include "common/byte_size_text.h"

namespace corvane {

std::string ClientCountText(int count) { return count == 0 ? "No users" : std::to_string(count) + " users"; }

std::string FtpCounterText(std::uint64_t uploaded, std::uint64_t downloaded)
{
    return FormatByteSize(uploaded, false) + " UL, " + FormatByteSize(downloaded, false) + " DL";
}

std::string HttpCounterText(std::uint64_t sent) { return FormatByteSize(sent, false) + " DL"; }

std::string ListeningStatusText(const std::string& address) { return " IP: " + address; }

}  // namespace corvane
