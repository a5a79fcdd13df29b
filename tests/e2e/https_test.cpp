// The web server over HTTPS and FTPS with the home's own certificate, trusted the way the
// README and "tls show" say (never by turning verification off): curl --cacert, wget, lftp by
// the fingerprint line, rclone through its trust file; the redirect of plain requests; the
// wrong protocol on each port; and a certificate renewed on disk while a download runs.
#include <gtest/gtest.h>

#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::ProgramFolderOfTests;
using testing::ReadFile;
using testing::RunCommand;
using testing::RunPython;
using testing::ServerProcess;
using testing::WriteFile;

int Shell(const std::string& command, std::string& output)
{
    output.clear();
    return RunCommand(command + " 2>&1", output);
}

// The wrong protocol on each port: a TLS hello on the plain one is answered 400 and closed, plain
// HTTP on the secure one is closed; neither waits for a limit.
constexpr const char* kWrongProtocolScript = R"PY(
import socket, sys, time
plain, secure = int(sys.argv[1]), int(sys.argv[2])
def exchange(port, data):
    s = socket.create_connection(('127.0.0.1', port), timeout=10)
    start = time.monotonic()
    s.sendall(data)
    got = b''
    try:
        while True:
            part = s.recv(4096)
            if not part: break
            got += part
    except ConnectionResetError:
        pass
    return got, time.monotonic() - start < 5
got, quick = exchange(plain, bytes([0x16, 3, 1, 2, 0, 1, 0, 1, 0xfc, 3, 3]))
print('hello on plain', got.split(b'\r\n')[0].decode(), quick)
got, quick = exchange(secure, b'GET / HTTP/1.1\r\nHost: localhost\r\n\r\n')
print('plain on secure', b'HTTP/' in got, quick)
)PY";

// A download over HTTPS reads a part, the pair is replaced on disk, new connections are watched
// until they show the new certificate, then the first download finishes whole.
constexpr const char* kRenewalScript = R"PY(
import datetime, hashlib, os, socket, ssl, sys, time
from cryptography import x509
from cryptography.x509.oid import NameOID
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
port, home, size = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
old = ssl.create_default_context(cafile=home + '/CorvaneServer.crt')
s = old.wrap_socket(socket.create_connection(('127.0.0.1', port), timeout=20), server_hostname='localhost')
s.sendall(b'GET /big.bin HTTP/1.1\r\nHost: localhost\r\n\r\n')
head = b''
while b'\r\n\r\n' not in head: head += s.recv(65536)
body = head.split(b'\r\n\r\n', 1)[1]
while len(body) < 1 << 20: body += s.recv(65536)

k = ec.generate_private_key(ec.SECP256R1())
now = datetime.datetime.now(datetime.timezone.utc)
name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, 'localhost')])
cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name).public_key(k.public_key())
        .serial_number(x509.random_serial_number()).not_valid_before(now - datetime.timedelta(hours=1))
        .not_valid_after(now + datetime.timedelta(days=30))
        .add_extension(x509.SubjectAlternativeName([x509.DNSName('localhost')]), False)
        .sign(k, hashes.SHA256()))
for name, data in (('CorvaneServer.key', k.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                                          serialization.NoEncryption())),
                   ('CorvaneServer.crt', cert.public_bytes(serialization.Encoding.PEM))):
    open(home + '/' + name + '.new', 'wb').write(data)
    os.replace(home + '/' + name + '.new', home + '/' + name)
wanted = cert.fingerprint(hashes.SHA256())
any_cert = ssl.create_default_context()
any_cert.check_hostname = False
any_cert.verify_mode = ssl.CERT_NONE
deadline = time.monotonic() + 15
seen = None
while time.monotonic() < deadline:
    t = any_cert.wrap_socket(socket.create_connection(('127.0.0.1', port), timeout=10))
    seen = hashlib.sha256(t.getpeercert(binary_form=True)).digest()
    t.close()
    if seen == wanted: break
    time.sleep(0.05)
print('next connection shows the new certificate', seen == wanted)
while len(body) < size:
    part = s.recv(1 << 16)
    if not part: break
    body += part
print('running download finished', len(body) == size, hashlib.sha256(body).hexdigest() == sys.argv[4])
)PY";

class Https : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = scratch.Join("home");
        ftpPort = FreeLoopbackPort();
        do httpPort = FreeLoopbackPort(); while (httpPort == ftpPort);
        do httpsPort = FreeLoopbackPort(); while (httpsPort == ftpPort || httpsPort == httpPort);
        WriteFile(home + "/drive_c/My Downloads/a.txt", "0123456789 over TLS");
    }
    void Start(const std::string& extra = std::string())
    {
        WriteFile(home + "/CorvaneServer.ini", "[ServerData]\r\nPort=" + std::to_string(ftpPort) +
                                                   "\r\nUserSetServerIP=127.0.0.1\r\nWebServerPort=" +
                                                   std::to_string(httpPort) + "\r\nWebServerHttpsPort=" +
                                                   std::to_string(httpsPort) + "\r\nRunWebServerNextTime=1\r\n" + extra);
        server = std::make_unique<ServerProcess>(home, httpPort);
        ASSERT_TRUE(server->WaitListening());
        certificate = home + "/CorvaneServer.crt";
    }
    std::string Secure(const std::string& path) const
    {
        return "https://localhost:" + std::to_string(httpsPort) + path;
    }
    // The line "tls show" prints for a client, without its leading name.
    std::string ShownLine(const std::string& client)
    {
        std::string shown;
        EXPECT_EQ(Shell(ProgramFolderOfTests() + "/corvane-server --home '" + home + "' tls show", shown), 0) << shown;
        const std::size_t at = shown.find("  " + client + ":");
        const std::size_t end = shown.find('\n', at);
        if (at == std::string::npos) return {};
        return shown.substr(at + client.size() + 3, end - at - client.size() - 3);
    }

    corvane::testing::ScratchFolder scratch;
    std::string home, certificate;
    int ftpPort = 0, httpPort = 0, httpsPort = 0;
    std::unique_ptr<ServerProcess> server;
};

TEST_F(Https, ClientsTrustTheHomesCertificateOverHttpsAndFtps)
{
    Start("WebServerRedirectToHttps=1\r\n");
    std::string out;
    const std::string curl = "curl -sS --max-time 20 --cacert '" + certificate + "' ";
    EXPECT_EQ(Shell(curl + Secure("/a.txt"), out), 0);
    EXPECT_EQ(out, "0123456789 over TLS");
    EXPECT_EQ(Shell(curl + "-r 2-5 " + Secure("/a.txt"), out), 0);
    EXPECT_EQ(out, "2345");
    EXPECT_EQ(Shell(curl + "-v -o /dev/null " + Secure("/"), out), 0);
    EXPECT_NE(out.find("ALPN: server accepted http/1.1"), std::string::npos) << out;
    // A plain request is sent to the same path over HTTPS, which curl follows.
    EXPECT_EQ(Shell(curl + "-L 'http://localhost:" + std::to_string(httpPort) + "/a.txt?x=1'", out), 0);
    EXPECT_EQ(out, "0123456789 over TLS");
    EXPECT_EQ(Shell("wget -q -O - --ca-certificate='" + certificate + "' " + Secure("/a.txt"), out), 0) << out;
    EXPECT_EQ(out, "0123456789 over TLS");
    // A name the certificate does not carry is refused by the client, and the server goes on.
    EXPECT_NE(Shell(curl + "--resolve other.example:" + std::to_string(httpsPort) + ":127.0.0.1 https://other.example:" +
                        std::to_string(httpsPort) + "/a.txt",
                    out),
              0);
    EXPECT_EQ(Shell(curl + "--ssl-reqd ftp://localhost:" + std::to_string(ftpPort) + "/a.txt", out), 0) << out;
    EXPECT_EQ(out, "0123456789 over TLS");
    // The lines "tls show" gives: lftp by the fingerprint, rclone through its trust file.
    const std::string lftp = ShownLine("lftp");
    ASSERT_NE(lftp.find("ssl:verify-certificate/"), std::string::npos) << lftp;
    const std::string lftpTrust = lftp.substr(lftp.find("'"), lftp.find("'", lftp.find("'") + 1) - lftp.find("'"));
    EXPECT_EQ(Shell("timeout 30 lftp -e " + lftpTrust + "; set ftp:ssl-force true; cat a.txt; bye' -u anonymous,x -p " +
                        std::to_string(ftpPort) + " localhost",
                    out),
              0)
        << out;
    EXPECT_EQ(out, "0123456789 over TLS");
    EXPECT_EQ(Shell("SSL_CERT_FILE='" + certificate + "' timeout 30 rclone cat --config /dev/null --ftp-explicit-tls "
                        "--ftp-host localhost --ftp-port " + std::to_string(ftpPort) +
                        " --ftp-user anonymous --ftp-pass \"$(rclone obscure x)\" :ftp:a.txt",
                    out),
              0)
        << out;
    EXPECT_NE(out.find("0123456789 over TLS"), std::string::npos) << out;
    out.clear();
    ASSERT_EQ(RunPython(kWrongProtocolScript, {std::to_string(httpPort), std::to_string(httpsPort)}, out), 0) << out;
    EXPECT_EQ(out, "hello on plain HTTP/1.0 400 Bad Request True\nplain on secure False True\n");
    EXPECT_EQ(server->StopWith(SIGTERM), 0);
    EXPECT_NE(ReadFile(server->OutputPath()).find("SHA-256 fingerprint"), std::string::npos);
}

// Chromium trusts the certificate by its public key's hash, as the README shows; without the
// hash it refuses the page.
TEST_F(Https, ChromiumLoadsAPageWithTheCertificateTrustedByItsKey)
{
    if (std::system("command -v chromium >/dev/null 2>&1") != 0) GTEST_SKIP() << "chromium is not installed";
    WriteFile(home + "/drive_c/My Downloads/p.htm",
              "<html><body><p id=\"t\">served</p><script>document.getElementById('t').textContent += ' over ' + "
              "location.protocol</script></body></html>");
    Start();
    std::string key;
    ASSERT_EQ(Shell("openssl x509 -in '" + certificate +
                        "' -pubkey -noout | openssl pkey -pubin -outform der | openssl dgst -sha256 -binary | base64 "
                        "| tr -d '\\n'",
                    key),
              0);
    const auto browse = [&](const std::string& trust, const std::string& profile) {
        std::string dom;
        RunCommand("timeout 60 chromium --headless --no-sandbox --disable-gpu --user-data-dir=" + scratch.Join(profile) +
                       " " + trust + " --virtual-time-budget=5000 --dump-dom " + Secure("/p.htm") + " 2>/dev/null",
                   dom);
        return dom;
    };
    EXPECT_NE(browse("--ignore-certificate-errors-spki-list=" + key, "trusting").find("served over https:"),
              std::string::npos);
    EXPECT_EQ(browse("", "plain").find("served"), std::string::npos);
}

TEST_F(Https, ACertificateRenewedOnDiskServesTheNextConnectionWhileADownloadFinishes)
{
    std::string big(8 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
    WriteFile(home + "/drive_c/My Downloads/big.bin", big);
    Start();
    std::string digest;
    ASSERT_EQ(Shell("sha256sum '" + home + "/drive_c/My Downloads/big.bin' | cut -d' ' -f1 | tr -d '\\n'", digest), 0);
    std::string out;
    ASSERT_EQ(RunPython(kRenewalScript, {std::to_string(httpsPort), home, std::to_string(big.size()), digest}, out), 0)
        << out;
    EXPECT_EQ(out, "next connection shows the new certificate True\nrunning download finished True True\n");
}

}  // namespace
}  // namespace corvane
