#include "app/tls_commands.h"

#include "common/constants.h"
#include "core/ftp_server_thread.h"
#include "core/server_commands.h"
#include "core/server_controller.h"
#include "core/server_settings.h"
#include "tls/certificate_facts.h"

namespace corvane {
namespace {

AdminReply Reply(int status, const std::string& out, const std::string& err = std::string())
{
    AdminReply reply;
    reply.status = status;
    reply.out = out;
    reply.err = err.empty() ? err : "corvane-server: " + err + "\n";
    return reply;
}

ServerSettings SettingsOf(const AdminContext& context)
{
    if (context.controller != nullptr) return context.controller->settings();
    return LoadServerSettings(IniImage::Open(context.home + "/" + std::string(kServerSettingsFileName)));
}

// The certificate file in use: the one the settings name, else the home's own.
std::string CertificateFileOf(const AdminContext& context)
{
    const ServerSettings settings = SettingsOf(context);
    return settings.TlsCertificateFile.empty() ? context.home + "/CorvaneServer.crt" : settings.TlsCertificateFile;
}

AdminReply Show(const AdminContext& context)
{
    const std::string file = CertificateFileOf(context);
    CertificateFacts facts;
    std::string why;
    if (!ReadCertificateFacts(file, facts, why))
        return Reply(kAdminRefused, "", why + " (the server makes its own certificate at its first start)");
    const std::string problem = ValidityProblem(facts, std::time(nullptr));
    std::string out;
    out += "Certificate:  " + file + "\n";
    out += "Subject:      " + facts.subject + "\n";
    out += "Issuer:       " + facts.issuer + (facts.issuer == facts.subject ? "  (self-signed)" : "") + "\n";
    if (!facts.names.empty()) out += "Names:        " + facts.names + "\n";
    out += "Valid from:   " + UtcText(facts.notBefore) + "\n";
    out += "Valid until:  " + UtcText(facts.notAfter) + (problem.empty() ? "" : "  (" + problem + ")") + "\n";
    out += "SHA-256:      " + facts.sha256 + "\n";
    out += "SHA-1:        " + facts.sha1 + "  (the form lftp and FileZilla show)\n";
    out += "\nTo trust it:\n";
    out += "  curl:   curl --cacert '" + file + "' https://localhost:PORT/   (FTPS: --ssl-reqd ftp://...)\n";
    out += "  lftp:   lftp -e 'set ssl:verify-certificate/" + facts.sha1 + " no' -u USER -p PORT localhost\n";
    out += "     or:  lftp -e 'set ssl:ca-file \"" + file + "\"' -u USER -p PORT localhost\n";
    out += "  rclone: SSL_CERT_FILE='" + file + "' rclone lsd --ftp-explicit-tls --ftp-host localhost "
           "--ftp-port PORT --ftp-user USER --ftp-pass \"$(rclone obscure PASSWORD)\" :ftp:\n";
    out += "     or:  rclone ls --ca-cert '" + file + "' --http-url https://localhost:PORT/ :http:\n";
    out += "  FileZilla: compare the SHA-256 fingerprint above with the one its certificate dialog shows, "
           "then tick \"Always trust this certificate\".\n";
    return Reply(kAdminDone, out);
}

AdminReply Reload(const AdminContext& context)
{
    if (context.controller == nullptr)
        return Reply(kAdminNotRunning, "", "no server runs on " + context.home + "; it loads the files when it starts");
    ftpServerThread* thread = context.controller->serverThread();
    if (thread == nullptr || !thread->PostCommand(MSG_RELOAD_TLS))
        return Reply(kAdminRefused, "", "the server's services are not running; the files are loaded when they start");
    return Reply(kAdminDone, "Certificate reload asked of the running server: new connections get the pair in " +
                                 CertificateFileOf(context) +
                                 " once it loads; the server's log says whether it did, or why not.\n");
}

}  // namespace

bool IsTlsCommandWord(const std::string& word) { return word == "tls"; }

bool IsTlsCommand(const AdminRequest& request)
{
    return !request.words.empty() && IsTlsCommandWord(request.words.front());
}

const char* TlsUsageText()
{
    return "  tls show                              the certificate: subject, validity, fingerprints and\n"
           "                                        the client lines that trust it\n"
           "  tls reload                            the running server loads its certificate again\n";
}

AdminReply RunTlsCommand(const AdminRequest& request, const AdminContext& context)
{
    const auto& w = request.words;
    if (w.size() == 2 && w[1] == "show") return Show(context);
    if (w.size() == 2 && w[1] == "reload") return Reload(context);
    return Reply(kAdminUsage, "", "usage: tls show | tls reload");
}

}  // namespace corvane
