#include "common/lookup_outcome.h"

#include "platform/win_errors.h"

namespace corvane {

std::string LookupOutcome(int error, const std::string& hostName)
{
    if (error == 0 && !hostName.empty()) return hostName;
    return std::string(kLookupFailureMarker) + std::to_string(error == 0 ? WSAHOST_NOT_FOUND : error);
}

bool IsLookupFailure(std::string_view outcome)
{
    return outcome.substr(0, kLookupFailureMarker.size()) == kLookupFailureMarker;
}

std::string ShownHostName(const std::string& outcome) { return IsLookupFailure(outcome) ? std::string() : outcome; }

}  // namespace corvane
