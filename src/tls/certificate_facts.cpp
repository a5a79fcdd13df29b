#include "tls/certificate_facts.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace corvane {
namespace {

struct Freers {
    void operator()(BIO* bio) const { BIO_free(bio); }
    void operator()(X509* certificate) const { X509_free(certificate); }
    void operator()(GENERAL_NAMES* names) const { GENERAL_NAMES_free(names); }
};
template <typename T>
using Owned = std::unique_ptr<T, Freers>;

std::string NameLine(const X509_NAME* name)
{
    Owned<BIO> out(BIO_new(BIO_s_mem()));
    if (!out || X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) < 0) return {};
    char* data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

std::string AlternativeNames(X509* certificate)
{
    Owned<GENERAL_NAMES> names(
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr)));
    if (!names) return {};
    std::string text;
    for (int i = 0; i < sk_GENERAL_NAME_num(names.get()); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names.get(), i);
        std::string one;
        if (name->type == GEN_DNS) {
            one = "DNS:" + std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(name->d.dNSName)),
                                       static_cast<std::size_t>(ASN1_STRING_length(name->d.dNSName)));
        } else if (name->type == GEN_IPADD && ASN1_STRING_length(name->d.iPAddress) == 4) {
            const unsigned char* b = ASN1_STRING_get0_data(name->d.iPAddress);
            one = "IP:" + std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
                  std::to_string(b[3]);
        } else {
            continue;
        }
        if (!text.empty()) text += ", ";
        text += one;
    }
    return text;
}

std::string Fingerprint(const X509* certificate, const EVP_MD* digest)
{
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, digest, bytes, &length) != 1) return {};
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : ":%02X", bytes[i]);
        text += pair;
    }
    return text;
}

bool TimeOf(const ASN1_TIME* time, std::time_t& when)
{
    struct tm parts {};
    if (ASN1_TIME_to_tm(time, &parts) != 1) return false;
    when = timegm(&parts);
    return true;
}

}  // namespace

bool ReadCertificateFacts(const std::string& certificateFile, CertificateFacts& facts, std::string& why)
{
    ERR_clear_error();
    Owned<BIO> in(BIO_new_file(certificateFile.c_str(), "rb"));
    if (!in) {
        why = "cannot open " + certificateFile;
        ERR_clear_error();
        return false;
    }
    Owned<X509> certificate(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
    ERR_clear_error();
    if (!certificate) {
        why = certificateFile + " holds no PEM certificate";
        return false;
    }
    facts.subject = NameLine(X509_get_subject_name(certificate.get()));
    facts.issuer = NameLine(X509_get_issuer_name(certificate.get()));
    facts.names = AlternativeNames(certificate.get());
    if (!TimeOf(X509_get0_notBefore(certificate.get()), facts.notBefore) ||
        !TimeOf(X509_get0_notAfter(certificate.get()), facts.notAfter)) {
        why = certificateFile + " has an unreadable validity";
        return false;
    }
    facts.sha256 = Fingerprint(certificate.get(), EVP_sha256());
    facts.sha1 = Fingerprint(certificate.get(), EVP_sha1());
    return true;
}

std::string ValidityProblem(const CertificateFacts& facts, std::time_t now)
{
    if (now < facts.notBefore) return "it is not valid before " + UtcText(facts.notBefore);
    if (now > facts.notAfter) return "it expired on " + UtcText(facts.notAfter);
    return {};
}

std::string UtcText(std::time_t when)
{
    struct tm parts {};
    gmtime_r(&when, &parts);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

}  // namespace corvane
