#include "tls/tls_context.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "tls/tls_channel.h"

namespace corvane {
namespace {

std::string TakeErrorText(const std::string& what)
{
    std::string text = what;
    while (const unsigned long code = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        text += ": ";
        text += line;
    }
    return text;
}

// What every context of the program shares: TLS 1.2 and 1.3, no renegotiation (a peer asking
// for one is refused, the connection goes on), no compression, an end without closing alert
// taken as the stream's end, idle connections holding no buffers, and kernel TLS offload
// wherever the kernel gives it.
bool ApplyCommonSettings(SSL_CTX* ctx)
{
    if (SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1) return false;
    if (SSL_CTX_set_max_proto_version(ctx, TLS1_3_VERSION) != 1) return false;
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION | SSL_OP_IGNORE_UNEXPECTED_EOF |
                                 SSL_OP_ENABLE_KTLS | SSL_OP_CIPHER_SERVER_PREFERENCE);
    // A send left unfinished is repeated from the socket layer's own queue, whose blocks may
    // have moved; partial sends let a large block go record by record.
    SSL_CTX_set_mode(ctx,
                     SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_RELEASE_BUFFERS);
    return true;
}

// A key under a passphrase is not read: the library's default would ask on the terminal and
// hold the thread that loads the pair.
int NoPassphrase(char*, int, int, void*) { return 0; }

// The one protocol of the context (its wire form in `arg`) when the client offers it.
int SelectProtocol(SSL*, const unsigned char** out, unsigned char* outLength, const unsigned char* offered,
                   unsigned int offeredLength, void* arg)
{
    const auto* wire = static_cast<const std::string*>(arg);
    unsigned char* chosen = nullptr;
    const int result = SSL_select_next_proto(&chosen, outLength, reinterpret_cast<const unsigned char*>(wire->data()),
                                             static_cast<unsigned int>(wire->size()), offered, offeredLength);
    if (result != OPENSSL_NPN_NEGOTIATED) return SSL_TLSEXT_ERR_NOACK;
    *out = chosen;
    return SSL_TLSEXT_ERR_OK;
}

}  // namespace

struct TTlsContext::Impl {
    SSL_CTX* ctx = nullptr;
    bool server = false;
    std::string alpnWire;  // length-prefixed, as the selection callback reads it
    ~Impl() { SSL_CTX_free(ctx); }
};

TTlsContext::TTlsContext(std::unique_ptr<Impl> impl)
    : impl_(std::move(impl))
{}
TTlsContext::~TTlsContext() = default;

std::shared_ptr<TTlsContext> TTlsContext::ForServer(const std::string& certificateFile, const std::string& keyFile,
                                                    std::string& why, const std::string& alpn)
{
    ERR_clear_error();
    auto impl = std::make_unique<Impl>();
    impl->server = true;
    impl->ctx = SSL_CTX_new(TLS_server_method());
    if (impl->ctx == nullptr || !ApplyCommonSettings(impl->ctx) || alpn.size() > 255) {
        why = TakeErrorText("cannot set up TLS");
        return nullptr;
    }
    SSL_CTX_set_default_passwd_cb(impl->ctx, NoPassphrase);
    if (SSL_CTX_use_certificate_chain_file(impl->ctx, certificateFile.c_str()) != 1) {
        why = TakeErrorText("cannot read the certificate " + certificateFile);
        return nullptr;
    }
    const std::string mismatch = "the private key " + keyFile + " does not belong to the certificate " +
                                 certificateFile +
                                 " (the server's own certificate must come first in the file, its chain after it)";
    if (SSL_CTX_use_PrivateKey_file(impl->ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        const bool wrongKey = ERR_GET_REASON(ERR_peek_last_error()) == X509_R_KEY_VALUES_MISMATCH;
        why = TakeErrorText(wrongKey ? mismatch
                                     : "cannot read the private key " + keyFile +
                                           " (a PEM key without a passphrase is needed)");
        return nullptr;
    }
    if (SSL_CTX_check_private_key(impl->ctx) != 1) {
        why = TakeErrorText(mismatch);
        return nullptr;
    }
    if (!alpn.empty()) {
        impl->alpnWire.assign(1, static_cast<char>(alpn.size()));
        impl->alpnWire += alpn;
        SSL_CTX_set_alpn_select_cb(impl->ctx, SelectProtocol, &impl->alpnWire);
    }
    // Sessions are kept for resumption: a data connection resumes its control connection's.
    static const unsigned char kSessionContext[] = "corvane-server";
    SSL_CTX_set_session_id_context(impl->ctx, kSessionContext, sizeof kSessionContext - 1);
    SSL_CTX_set_session_cache_mode(impl->ctx, SSL_SESS_CACHE_SERVER);
    SSL_CTX_sess_set_cache_size(impl->ctx, 4096);
    return std::shared_ptr<TTlsContext>(new TTlsContext(std::move(impl)));
}

std::shared_ptr<TTlsContext> TTlsContext::ForClient(std::string& why)
{
    ERR_clear_error();
    auto impl = std::make_unique<Impl>();
    impl->ctx = SSL_CTX_new(TLS_client_method());
    if (impl->ctx == nullptr || !ApplyCommonSettings(impl->ctx)) {
        why = TakeErrorText("cannot set up TLS");
        return nullptr;
    }
    SSL_CTX_set_verify(impl->ctx, SSL_VERIFY_NONE, nullptr);
    // The sessions that the server's tickets bring are kept with the connection that got them.
    SSL_CTX_set_session_cache_mode(impl->ctx, SSL_SESS_CACHE_CLIENT);
    return std::shared_ptr<TTlsContext>(new TTlsContext(std::move(impl)));
}

std::unique_ptr<TSecureChannel> TTlsContext::NewChannel(int handle, const TSecureChannel* resumeFrom)
{
    if (handle < 0) return nullptr;
    SSL* ssl = SSL_new(impl_->ctx);
    if (ssl == nullptr) return nullptr;
    if (SSL_set_fd(ssl, handle) != 1) {
        SSL_free(ssl);
        return nullptr;
    }
    if (impl_->server) {
        SSL_set_accept_state(ssl);
    } else {
        SSL_set_connect_state(ssl);
        if (const auto* earlier = dynamic_cast<const TTlsChannel*>(resumeFrom)) {
            if (SSL_SESSION* session = SSL_get1_session(earlier->Handle())) {
                SSL_set_session(ssl, session);
                SSL_SESSION_free(session);
            }
        }
    }
    return std::make_unique<TTlsChannel>(ssl);
}

TSecureChannelMaker TTlsContext::Maker()
{
    std::shared_ptr<TTlsContext> self = shared_from_this();
    return [self](int handle) { return self->NewChannel(handle); };
}

}  // namespace corvane
