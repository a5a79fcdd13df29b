// TTlsChannel: a TSecureChannel over an OpenSSL connection object that reads and writes its
// socket handle directly. Made by TTlsContext only, on the thread of its socket, and used there
// only.
#pragma once

#include <openssl/ssl.h>

#include <string>

#include "common/thread_owner.h"
#include "net/secure_channel.h"

namespace corvane {

class TTlsChannel final : public TSecureChannel {
public:
    // Takes ownership of `ssl`, which is already bound to its handle and role.
    explicit TTlsChannel(SSL* ssl)
        : ssl_(ssl)
    {}
    ~TTlsChannel() override;
    TTlsChannel(const TTlsChannel&) = delete;
    TTlsChannel& operator=(const TTlsChannel&) = delete;

    Step Handshake() override;
    std::string FailureText() const override { return failure_; }
    int Send(const void* data, int len, int& sent) override;
    int Receive(void* buffer, int len, bool peek, int& received) override;
    int Pending() const override;
    bool WantsWritable() const override { return wantsWritable_; }
    bool KernelSends() const override;
    int SendFile(int fileFd, long long offset, long long count, long long& sent) override;
    void IssueNoSessionTickets() override { SSL_set_num_tickets(ssl_, 0); }
    bool Resumed() const override;
    std::string Version() const override;
    bool PeerClosed() const override;
    void Shutdown() override;

    SSL* Handle() const { return ssl_; }

private:
    // The socket error number for a call that returned `result`, and the flags it sets.
    int ErrorOf(int result);

    SSL* ssl_;
    bool wantsWritable_ = false;
    bool shutdownSent_ = false;
    std::string failure_;
    ThreadOwner owner_;  // the thread of the socket it is made for
};

}  // namespace corvane
