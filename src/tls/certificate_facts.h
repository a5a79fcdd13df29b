// What a person needs to decide whether to trust a certificate file: whom it names, when it is
// valid, and its fingerprints in the forms clients show (SHA-256 for curl, rclone and browsers,
// SHA-1 for lftp's and FileZilla's prompts). Any thread.
#pragma once

#include <ctime>
#include <string>

namespace corvane {

struct CertificateFacts {
    std::string subject;   // one line, e.g. "O=Corvane Server, CN=localhost"
    std::string issuer;
    std::string names;     // the subject alternative names, e.g. "DNS:localhost, IP Address:127.0.0.1"
    std::time_t notBefore = 0;
    std::time_t notAfter = 0;
    std::string sha256;    // upper-case hexadecimal pairs joined by ":"
    std::string sha1;
};

// The facts of the first certificate of a PEM file (the server's own; a chain may follow it).
// False, with the reason in `why`, when the file holds no readable certificate.
bool ReadCertificateFacts(const std::string& certificateFile, CertificateFacts& facts, std::string& why);

// Why a certificate cannot be used at `now` ("expired on ...", "not valid before ..."), or empty
// when it is inside its validity.
std::string ValidityProblem(const CertificateFacts& facts, std::time_t now);

// A time as "2026-12-11 17:36:30 UTC".
std::string UtcText(std::time_t when);

}  // namespace corvane
