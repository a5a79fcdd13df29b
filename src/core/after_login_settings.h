// AfterLoginSettings: what the login and download policies take from the settings at each FTP
// start: the after-login text (the lines of its file, each sent as "230-" before the login's
// reply) and whether a web link is required for downloads.
//
// Threads: the server thread, at each FTP start and in the policies' handlers.
#pragma once

#include <string>

namespace corvane {

struct ServerSettings;

class AfterLoginSettings {
public:
    // A file that is missing now leaves the text of an earlier start in place.
    void Apply(const ServerSettings& settings);

    const std::string& afterLoginText() const { return afterLoginText_; }
    bool afterLoginEnabled() const { return afterLoginEnabled_; }
    bool webLinkRequired() const { return webLinkRequired_; }

private:
    std::string afterLoginText_;
    bool afterLoginEnabled_ = false;
    bool webLinkRequired_ = false;
};

}  // namespace corvane
