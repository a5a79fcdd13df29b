// TlsCertificates: the certificate pair that FTPS and HTTPS show, and its renewal. The pair is
// loaded at a service's start (the home's own pair made on the first start that has none), and
// again on a reload: SIGHUP, "tls reload", or a change of either file seen on the tick. A reload
// serves new connections only: a session already running keeps the pair it was made with. A
// pair that fails to load, or is out of its validity, leaves the one in force and is logged with
// the reason. Server thread only; the makers it hands out may outlive it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/secure_channel.h"
#include "tls/certificate_facts.h"

namespace corvane {

class TTlsContext;
struct ServerSettings;

class TlsCertificates {
public:
    using LogLine = std::function<void(const std::string& line)>;
    explicit TlsCertificates(LogLine log);
    ~TlsCertificates();
    TlsCertificates(const TlsCertificates&) = delete;
    TlsCertificates& operator=(const TlsCertificates&) = delete;

    // At a service's start: the files the settings name, loaded unless they are the ones in
    // force already and unchanged. True when a pair is in force afterwards.
    bool Use(const ServerSettings& settings);
    bool Available() const;
    // Channels of the pair in force when each connection comes; nullptr while there is none.
    TSecureChannelMaker FtpMaker() const;
    TSecureChannelMaker HttpsMaker() const;
    // Loads the files again; what happened, in one line (also logged).
    std::string Reload();
    // The tick: a file that changed since it was loaded (or last tried) is loaded again.
    void CheckForChange();

    const std::string& CertificateFile() const { return certificateFile_; }
    const std::string& KeyFile() const { return keyFile_; }

private:
    struct Contexts;
    struct Stamp {
        long long size = -1, seconds = 0, nanoseconds = 0;
        unsigned long long inode = 0;
        bool operator==(const Stamp&) const = default;
    };
    static Stamp StampOf(const std::string& file);
    // Loads the pair; on failure the one in force stays and `why` says what went wrong.
    bool Load(bool refuseOutOfDate, std::string& why);
    std::string InForceLine() const;

    LogLine log_;
    std::shared_ptr<Contexts> current_;  // shared with the makers
    std::string certificateFile_, keyFile_;
    Stamp certificateStamp_, keyStamp_;  // as last loaded or tried
    bool loaded_ = false;
    CertificateFacts facts_;  // of the certificate in force
};

}  // namespace corvane
