#include "core/tls_certificates.h"

#include <ctime>

#include "common/program_folder.h"
#include "core/log_lines.h"
#include "core/server_settings.h"
#include "platform/fs.h"
#include "platform/name_lookup.h"
#include "platform/send_file.h"
#include "tls/certificate_facts.h"
#include "tls/tls_context.h"

namespace corvane {
namespace {

constexpr const char* kDefaultCertificateName = "CorvaneServer.crt";
constexpr const char* kDefaultKeyName = "CorvaneServer.key";

}  // namespace

struct TlsCertificates::Contexts {
    std::shared_ptr<TTlsContext> ftp;
    std::shared_ptr<TTlsContext> https;  // the same pair, agreeing on "http/1.1"
};

TlsCertificates::TlsCertificates(LogLine log)
    : log_(std::move(log)),
      current_(std::make_shared<Contexts>())
{}

TlsCertificates::~TlsCertificates() = default;

TlsCertificates::Stamp TlsCertificates::StampOf(const std::string& file)
{
    Stamp stamp;
    if (const auto info = fs::StatHost(file)) {
        stamp.size = info->size;
        stamp.seconds = static_cast<long long>(info->mtime);
        stamp.nanoseconds = info->mtimeNanoseconds;
        stamp.inode = info->inode;
    }
    return stamp;
}

bool TlsCertificates::Use(const ServerSettings& s)
{
    const bool ownPair = s.TlsCertificateFile.empty() && s.TlsKeyFile.empty();
    const std::string certificate =
        s.TlsCertificateFile.empty() ? ProgramFolder() + kDefaultCertificateName : s.TlsCertificateFile;
    const std::string key = s.TlsKeyFile.empty() ? ProgramFolder() + kDefaultKeyName : s.TlsKeyFile;
    std::string why;
    // Only the home's own pair is made here; a named file that is missing is the operator's.
    if (ownPair && !fs::HostFileExists(certificate) && !fs::HostFileExists(key)) {
        if (!WriteSelfSignedPair(certificate, key, LocalHostName(), why)) log_(TlsPairNotMadeLine(why));
    }
    if (loaded_ && certificate == certificateFile_ && key == keyFile_ && StampOf(certificate) == certificateStamp_ &&
        StampOf(key) == keyStamp_)
        return Available();
    const bool named = certificate != certificateFile_ || key != keyFile_;
    certificateFile_ = certificate;
    keyFile_ = key;
    if (named) *current_ = Contexts{};  // another pair is named: the old one is not shown for it
    // At a start an out-of-date certificate is still used, with a warning: without it the
    // service would take passwords in the clear.
    if (!Load(false, why)) {
        log_(TlsUnavailableLine(why));
        return false;
    }
    log_(InForceLine());
    return true;
}

bool TlsCertificates::Available() const { return current_->ftp != nullptr; }

TSecureChannelMaker TlsCertificates::FtpMaker() const
{
    if (!Available()) return nullptr;
    return [contexts = current_](int handle) -> std::unique_ptr<TSecureChannel> {
        return contexts->ftp ? contexts->ftp->NewChannel(handle) : nullptr;
    };
}

TSecureChannelMaker TlsCertificates::HttpsMaker() const
{
    if (!Available()) return nullptr;
    return [contexts = current_](int handle) -> std::unique_ptr<TSecureChannel> {
        return contexts->https ? contexts->https->NewChannel(handle) : nullptr;
    };
}

bool TlsCertificates::Load(bool refuseOutOfDate, std::string& why)
{
    certificateStamp_ = StampOf(certificateFile_);
    keyStamp_ = StampOf(keyFile_);
    loaded_ = true;
    CertificateFacts facts;
    if (!ReadCertificateFacts(certificateFile_, facts, why)) return false;
    const std::string problem = ValidityProblem(facts, std::time(nullptr));
    if (!problem.empty() && refuseOutOfDate) {
        why = "the certificate " + certificateFile_ + " is not used: " + problem;
        return false;
    }
    Contexts fresh;
    fresh.ftp = TTlsContext::ForServer(certificateFile_, keyFile_, why);
    if (fresh.ftp) fresh.https = TTlsContext::ForServer(certificateFile_, keyFile_, why, "http/1.1");
    if (!fresh.https) return false;
    // A file replaced while it was read: what was loaded may be half of each; the next tick
    // sees the new stamp and loads again.
    if (StampOf(certificateFile_) != certificateStamp_ || StampOf(keyFile_) != keyStamp_) {
        why = "the certificate or key changed while it was read";
        certificateStamp_ = Stamp{};
        return false;
    }
    *current_ = std::move(fresh);
    facts_ = facts;
    if (!problem.empty()) log_("! TLS: the certificate " + certificateFile_ + " is used, but " + problem);
    return true;
}

std::string TlsCertificates::Reload()
{
    if (certificateFile_.empty()) return "TLS: no certificate is in use yet; it is loaded when a service starts";
    std::string why;
    std::string line;
    if (Load(true, why))
        line = InForceLine();
    else
        line = "! TLS: the new certificate was not loaded (" + why + "); " +
               (Available() ? "the one in force stays" : "TLS stays unavailable");
    log_(line);
    return line;
}

void TlsCertificates::CheckForChange()
{
    if (!loaded_ || certificateFile_.empty()) return;
    if (StampOf(certificateFile_) == certificateStamp_ && StampOf(keyFile_) == keyStamp_) return;
    Reload();
}

std::string TlsCertificates::InForceLine() const
{
    // Whether large protected downloads can go from the file to the socket, or are copied here.
    const char* offload = sockapi::KernelTlsAvailable() ? "; kernel TLS offload available"
                                               : "; no kernel TLS offload: protected downloads are encrypted here";
    return "! TLS certificate " + certificateFile_ + " (" + facts_.subject + ", valid until " +
           UtcText(facts_.notAfter) + "), SHA-256 fingerprint " + facts_.sha256 + offload;
}

}  // namespace corvane
