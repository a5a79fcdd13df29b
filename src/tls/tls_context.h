// TTlsContext: the TLS settings that every channel of one role shares (certificate, key,
// protocol versions, the session cache), and the maker of channels (TSecureChannel) for
// connected handles. Owner thread: any, but its channels are used on the thread of their socket
// only; the context outlives them through the shared pointer each maker holds.
//
// Protocol versions are TLS 1.2 and 1.3 only. Renegotiation is refused. A server context keeps
// the sessions it made, so that a client's further connections (FTP's data connections) resume
// the session of its first instead of making a new one. Kernel TLS offload is asked for; whether
// the kernel gives it is known per channel once its handshake is done (KernelSends).
#pragma once

#include <memory>
#include <string>

#include "net/secure_channel.h"

namespace corvane {

class TTlsContext : public std::enable_shared_from_this<TTlsContext> {
public:
    // A server context from PEM files: the certificate (a chain may follow it) and its private
    // key. nullptr, with the reason in `why`, when either cannot be read or they do not match; a
    // key under a passphrase is refused (a server that runs unattended has nobody to ask).
    // `alpn`, when not empty, is the one application protocol agreed with clients that offer it
    // (the web server's "http/1.1"); clients that offer others go on without one.
    static std::shared_ptr<TTlsContext> ForServer(const std::string& certificateFile, const std::string& keyFile,
                                                  std::string& why, const std::string& alpn = std::string());
    // A client context that checks no certificate (tests and benchmarks talk to their own
    // self-signed servers).
    static std::shared_ptr<TTlsContext> ForClient(std::string& why);

    ~TTlsContext();
    TTlsContext(const TTlsContext&) = delete;
    TTlsContext& operator=(const TTlsContext&) = delete;

    // A channel for a connected handle, of this context's role; a client channel resumes the
    // session of `resumeFrom` when it is given and has one. nullptr when none can be made.
    std::unique_ptr<TSecureChannel> NewChannel(int handle, const TSecureChannel* resumeFrom = nullptr);
    // NewChannel as a maker for the socket layer; it keeps this context alive.
    TSecureChannelMaker Maker();

    struct Impl;

private:
    explicit TTlsContext(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Writes a new self-signed certificate (ECDSA P-256, for "localhost", 127.0.0.1 and
// `hostName`, ten years) and its private key as PEM files, each readable by the owner only
// (0600). False, with the reason in `why`, when either cannot be made or written.
bool WriteSelfSignedPair(const std::string& certificateFile, const std::string& keyFile, const std::string& hostName,
                         std::string& why);

}  // namespace corvane
