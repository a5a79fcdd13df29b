#include "tls/tls_channel.h"

#include <openssl/err.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/win_errors.h"

namespace corvane {
namespace {

// The library's queued errors as one line, emptied.
std::string TakeErrorText()
{
    std::string text;
    while (const unsigned long code = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        if (!text.empty()) text += "; ";
        text += line;
    }
    return text;
}

}  // namespace

TTlsChannel::~TTlsChannel() { SSL_free(ssl_); }

int TTlsChannel::ErrorOf(int result)
{
    const int error = SSL_get_error(ssl_, result);
    wantsWritable_ = error == SSL_ERROR_WANT_WRITE;
    switch (error) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE: return WSAEWOULDBLOCK;
    case SSL_ERROR_ZERO_RETURN: return WSAECONNRESET;
    case SSL_ERROR_SYSCALL: {
        const int host = errno;
        failure_ = TakeErrorText();
        return host != 0 ? WinSockErrorFromErrno(host) : WSAECONNRESET;
    }
    default:
        failure_ = TakeErrorText();
        if (failure_.empty()) failure_ = "TLS error " + std::to_string(error);
        return WSAECONNABORTED;
    }
}

TSecureChannel::Step TTlsChannel::Handshake()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    ERR_clear_error();
    const int result = SSL_do_handshake(ssl_);
    if (result == 1) {
        wantsWritable_ = false;
        return Step::Done;
    }
    const int error = SSL_get_error(ssl_, result);
    wantsWritable_ = error == SSL_ERROR_WANT_WRITE;
    if (error == SSL_ERROR_WANT_READ) return Step::WantRead;
    if (error == SSL_ERROR_WANT_WRITE) return Step::WantWrite;
    failure_ = TakeErrorText();
    if (failure_.empty())
        failure_ = error == SSL_ERROR_SYSCALL ? "the connection ended during the handshake"
                                              : "TLS handshake error " + std::to_string(error);
    return Step::Failed;
}

int TTlsChannel::Send(const void* data, int len, int& sent)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    sent = 0;
    if (len <= 0) return 0;
    ERR_clear_error();
    const int result = SSL_write(ssl_, data, len);
    if (result > 0) {
        wantsWritable_ = false;
        sent = result;
        return 0;
    }
    return ErrorOf(result);
}

int TTlsChannel::Receive(void* buffer, int len, bool peek, int& received)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    received = 0;
    if (len <= 0) return 0;
    ERR_clear_error();
    const int result = peek ? SSL_peek(ssl_, buffer, len) : SSL_read(ssl_, buffer, len);
    if (result > 0) {
        wantsWritable_ = false;
        received = result;
        return 0;
    }
    const int error = ErrorOf(result);
    // The peer's closing alert, or (the context ignores an end without one) the connection's
    // end: the stream is over, as a plain connection's would be.
    if (SSL_get_error(ssl_, result) == SSL_ERROR_ZERO_RETURN) return 0;
    return error;
}

int TTlsChannel::Pending() const { return SSL_pending(ssl_); }

bool TTlsChannel::KernelSends() const { return BIO_get_ktls_send(SSL_get_wbio(ssl_)) != 0; }

int TTlsChannel::SendFile(int fileFd, long long offset, long long count, long long& sent)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    sent = 0;
    if (count <= 0) return 0;
    ERR_clear_error();
    const ossl_ssize_t result = SSL_sendfile(ssl_, fileFd, static_cast<off_t>(offset),
                                             static_cast<size_t>(std::min<long long>(count, INT_MAX)), 0);
    if (result >= 0) {
        wantsWritable_ = false;
        sent = result;
        return 0;
    }
    return ErrorOf(static_cast<int>(result));
}

bool TTlsChannel::Resumed() const { return SSL_session_reused(ssl_) == 1; }

std::string TTlsChannel::Version() const { return SSL_is_init_finished(ssl_) ? SSL_get_version(ssl_) : ""; }

bool TTlsChannel::PeerClosed() const { return (SSL_get_shutdown(ssl_) & SSL_RECEIVED_SHUTDOWN) != 0; }

void TTlsChannel::Shutdown()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (shutdownSent_ || !SSL_is_init_finished(ssl_)) return;
    shutdownSent_ = true;
    ERR_clear_error();
    SSL_shutdown(ssl_);  // the alert is queued or sent; the peer's answer is not waited for
    ERR_clear_error();
}

}  // namespace corvane
