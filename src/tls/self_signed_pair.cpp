// The certificate a first run makes for itself, so that FTPS works before anyone has bought or
// made a real one. Clients that check certificates must be told to accept it.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <memory>

#include "platform/fs.h"
#include "tls/tls_context.h"

namespace corvane {
namespace {

constexpr long kTenYears = 10L * 365 * 24 * 3600;

struct Freers {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(X509* certificate) const { X509_free(certificate); }
    void operator()(BIO* bio) const { BIO_free(bio); }
    void operator()(X509_EXTENSION* extension) const { X509_EXTENSION_free(extension); }
};
template <typename T>
using Owned = std::unique_ptr<T, Freers>;

bool Fail(std::string& why, const std::string& what)
{
    why = what;
    if (const unsigned long code = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        why += ": ";
        why += line;
    }
    ERR_clear_error();
    return false;
}

bool AddExtension(X509* certificate, int nid, const std::string& value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, certificate, certificate, nullptr, nullptr, 0);
    Owned<X509_EXTENSION> extension(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str()));
    return extension != nullptr && X509_add_ext(certificate, extension.get(), -1) == 1;
}

bool RandomSerial(X509* certificate)
{
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) return false;
    bytes[0] &= 0x7F;  // a positive number
    BIGNUM* number = BN_bin2bn(bytes, sizeof bytes, nullptr);
    const bool done = number != nullptr && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate)) != nullptr;
    BN_free(number);
    return done;
}

// The DNS names of the certificate: the host's, when it is a plain name, and localhost.
std::string AlternativeNames(const std::string& hostName)
{
    std::string names = "DNS:localhost,IP:127.0.0.1";
    bool plain = !hostName.empty() && hostName != "localhost";
    for (char c : hostName)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.')) plain = false;
    if (plain) names = "DNS:" + hostName + "," + names;
    return names;
}

bool PemText(BIO* bio, std::string& text)
{
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    if (length <= 0 || data == nullptr) return false;
    text.assign(data, static_cast<std::size_t>(length));
    return true;
}

}  // namespace

bool WriteSelfSignedPair(const std::string& certificateFile, const std::string& keyFile, const std::string& hostName,
                         std::string& why)
{
    ERR_clear_error();
    Owned<EVP_PKEY> key(EVP_EC_gen("P-256"));
    if (!key) return Fail(why, "cannot make a key");
    Owned<X509> certificate(X509_new());
    if (!certificate || X509_set_version(certificate.get(), 2) != 1 || !RandomSerial(certificate.get()))
        return Fail(why, "cannot make a certificate");
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);  // clocks that lag a little
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), kTenYears);
    X509_set_pubkey(certificate.get(), key.get());
    X509_NAME* name = X509_get_subject_name(certificate.get());
    const std::string commonName = hostName.empty() ? "localhost" : hostName;
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Corvane Server"), -1,
                               -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(certificate.get(), name);
    if (!AddExtension(certificate.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        !AddExtension(certificate.get(), NID_key_usage, "critical,digitalSignature") ||
        !AddExtension(certificate.get(), NID_ext_key_usage, "serverAuth") ||
        !AddExtension(certificate.get(), NID_subject_alt_name, AlternativeNames(hostName)))
        return Fail(why, "cannot describe the certificate");
    if (X509_sign(certificate.get(), key.get(), EVP_sha256()) <= 0) return Fail(why, "cannot sign the certificate");

    Owned<BIO> keyPem(BIO_new(BIO_s_mem())), certificatePem(BIO_new(BIO_s_mem()));
    std::string keyText, certificateText;
    if (!keyPem || PEM_write_bio_PrivateKey(keyPem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
        !PemText(keyPem.get(), keyText))
        return Fail(why, "cannot write the key");
    if (!certificatePem || PEM_write_bio_X509(certificatePem.get(), certificate.get()) != 1 ||
        !PemText(certificatePem.get(), certificateText))
        return Fail(why, "cannot write the certificate");
    // The key first: a certificate without its key would be taken for a pair next time.
    if (!fs::WriteFileAtomicallyOwnerOnly(keyFile, keyText)) return Fail(why, "cannot write " + keyFile);
    if (!fs::WriteFileAtomically(certificateFile, certificateText)) return Fail(why, "cannot write " + certificateFile);
    return true;
}

}  // namespace corvane
