// The certificate pair in force and its renewal: a good new pair replaces it for the next
// connections, and every kind of bad file leaves it in force with the reason logged.
#include "core/tls_certificates.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "../platform/scratch_folder.h"
#include "core/server_settings.h"
#include "tls/certificate_facts.h"
#include "tls/tls_context.h"

namespace corvane {
namespace {

// Makes the bad files beside a good pair (good.crt, good.key): each named <case>.crt/.key.
constexpr const char* kMakeBadFiles = R"PY(
import datetime, sys
from cryptography import x509
from cryptography.x509.oid import NameOID
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
d = sys.argv[1]
now = datetime.datetime.now(datetime.timezone.utc)
day = datetime.timedelta(days=1)
def pem_key(k, password=None):
    enc = serialization.BestAvailableEncryption(password) if password else serialization.NoEncryption()
    return k.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8, enc)
def cert(k, start, end, issuer_key=None, cn='localhost'):
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, cn)])
    b = x509.CertificateBuilder().subject_name(name).issuer_name(name).public_key(k.public_key())
    b = b.serial_number(x509.random_serial_number()).not_valid_before(start).not_valid_after(end)
    return b.sign(issuer_key or k, hashes.SHA256()).public_bytes(serialization.Encoding.PEM)
def write(name, data):
    open(d + '/' + name, 'wb').write(data)
k = ec.generate_private_key(ec.SECP256R1())
other = ec.generate_private_key(ec.SECP256R1())
write('expired.crt', cert(k, now - 30 * day, now - day)); write('expired.key', pem_key(k))
write('future.crt', cert(k, now + day, now + 30 * day)); write('future.key', pem_key(k))
write('otherkey.crt', cert(k, now - day, now + 30 * day)); write('otherkey.key', pem_key(other))
write('passphrase.crt', cert(k, now - day, now + 30 * day)); write('passphrase.key', pem_key(k, b'secret'))
ca = ec.generate_private_key(ec.SECP256R1())
write('wrongorder.crt', cert(ca, now - day, now + 30 * day, cn='ca') + cert(k, now - day, now + 30 * day, ca))
write('wrongorder.key', pem_key(k))
write('empty.crt', b''); write('empty.key', pem_key(k))
write('binary.crt', bytes(range(256)) * 8); write('binary.key', pem_key(k))
write('newgood.crt', cert(k, now - day, now + 30 * day, cn='renewed')); write('newgood.key', pem_key(k))
)PY";

class Certificates : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(WriteSelfSignedPair(scratch.Join("good.crt"), scratch.Join("good.key"), "localhost", why)) << why;
        scratch.Put("make.py", kMakeBadFiles);
        ASSERT_EQ(std::system(("python3 '" + scratch.Join("make.py") + "' '" + scratch.Path() + "'").c_str()), 0);
        Install("good");
        settings.TlsCertificateFile = scratch.Join("server.crt");
        settings.TlsKeyFile = scratch.Join("server.key");
        ASSERT_TRUE(certificates.Use(settings));
        good = FingerprintInForce();
    }
    // Puts a case's pair in the place the settings name, each file replaced whole.
    void Install(const std::string& name)
    {
        for (const char* kind : {".crt", ".key"}) {
            std::filesystem::copy_file(scratch.Join(name + kind), scratch.Join("next" + std::string(kind)),
                                       std::filesystem::copy_options::overwrite_existing);
            std::filesystem::rename(scratch.Join("next" + std::string(kind)), scratch.Join("server" + std::string(kind)));
        }
    }
    // The fingerprint a client sees on a new connection, by a real handshake over a socket pair.
    std::string FingerprintInForce() const;

    corvane::testing::ScratchFolder scratch;
    std::vector<std::string> lines;
    TlsCertificates certificates{[this](const std::string& line) { lines.push_back(line); }};
    ServerSettings settings;
    std::string good;
};

}  // namespace
}  // namespace corvane

#include <sys/socket.h>
#include <unistd.h>

#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace corvane {
namespace {

// Both ends take turns on non-blocking sockets until the client's handshake is done; the
// SHA-256 fingerprint of the certificate the client was shown.
std::string HandshakeFingerprint(TSecureChannel& server, int clientHandle)
{
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL* client = SSL_new(ctx);
    SSL_set_fd(client, clientHandle);
    SSL_set_connect_state(client);
    for (int i = 0; i < 20 && SSL_do_handshake(client) != 1; ++i) server.Handshake();
    std::string fingerprint;
    if (X509* seen = SSL_get1_peer_certificate(client)) {
        unsigned char bytes[32];
        unsigned int length = 0;
        X509_digest(seen, EVP_sha256(), bytes, &length);
        char pairText[4];
        for (unsigned int i = 0; i < length; ++i) {
            std::snprintf(pairText, sizeof pairText, i == 0 ? "%02X" : ":%02X", bytes[i]);
            fingerprint += pairText;
        }
        X509_free(seen);
    }
    SSL_free(client);
    SSL_CTX_free(ctx);
    return fingerprint;
}

struct SocketPair {
    int ends[2] = {-1, -1};
    SocketPair() { socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, ends); }
    ~SocketPair()
    {
        close(ends[0]);
        close(ends[1]);
    }
};

std::string Certificates::FingerprintInForce() const
{
    SocketPair pair;
    auto server = certificates.HttpsMaker()(pair.ends[0]);
    return server ? HandshakeFingerprint(*server, pair.ends[1]) : std::string();
}

TEST_F(Certificates, ABadPairLeavesTheOneInForceAndSaysWhy)
{
    ASSERT_FALSE(good.empty());
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"expired", "expired on"},
        {"future", "not valid before"},
        {"otherkey", "does not belong"},
        {"passphrase", "without a passphrase"},
        {"wrongorder", "must come first"},
        {"empty", "holds no PEM certificate"},
        {"binary", "holds no PEM certificate"},
    };
    for (const auto& [name, reason] : cases) {
        SCOPED_TRACE(name);
        Install(name);
        const std::string line = certificates.Reload();
        EXPECT_NE(line.find("was not loaded"), std::string::npos) << line;
        EXPECT_NE(line.find(reason), std::string::npos) << line;
        EXPECT_NE(line.find("the one in force stays"), std::string::npos) << line;
        EXPECT_EQ(FingerprintInForce(), good);
        // The tick does not try the same bad files again and again.
        lines.clear();
        certificates.CheckForChange();
        EXPECT_TRUE(lines.empty());
    }
}

TEST_F(Certificates, ANewPairOnDiskServesTheNextConnectionAndARunningOneKeepsItsOwn)
{
    // A channel made before the renewal: its handshake comes after, and still shows the old pair.
    SocketPair pair;
    auto early = certificates.HttpsMaker()(pair.ends[0]);
    ASSERT_NE(early, nullptr);
    Install("newgood");
    certificates.CheckForChange();
    ASSERT_FALSE(lines.empty());
    CertificateFacts facts;
    std::string why;
    ASSERT_TRUE(ReadCertificateFacts(scratch.Join("newgood.crt"), facts, why)) << why;
    EXPECT_NE(lines.back().find("CN = renewed"), std::string::npos) << lines.back();
    EXPECT_NE(lines.back().find(facts.sha256), std::string::npos) << lines.back();
    EXPECT_EQ(FingerprintInForce(), facts.sha256);
    EXPECT_EQ(HandshakeFingerprint(*early, pair.ends[1]), good);
}

}  // namespace
}  // namespace corvane
