// The FTP service's TLS: which certificate it shows, made on the first start that has none,
// and what it requires of logins.
#include "core/ftp_tls_setup.h"

#include "common/program_folder.h"
#include "core/log_lines.h"
#include "core/server_hand_off.h"
#include "core/server_settings.h"
#include "ftp/ftp_server.h"
#include "platform/fs.h"
#include "platform/name_lookup.h"
#include "tls/tls_context.h"

namespace corvane {
namespace {

constexpr const char* kDefaultCertificateName = "CorvaneServer.crt";
constexpr const char* kDefaultKeyName = "CorvaneServer.key";

}  // namespace

void ApplyFtpTlsSettings(TFtpServer& ftp, const ServerSettings& s, ServerHandOff& handOff)
{
    const bool ownPair = s.TlsCertificateFile.empty() && s.TlsKeyFile.empty();
    const std::string certificate =
        s.TlsCertificateFile.empty() ? ProgramFolder() + kDefaultCertificateName : s.TlsCertificateFile;
    const std::string key = s.TlsKeyFile.empty() ? ProgramFolder() + kDefaultKeyName : s.TlsKeyFile;
    std::string why;
    // Only the home's own pair is made here; a named file that is missing is the operator's.
    // Only failures are logged: a working TLS says nothing at each start.
    if (ownPair && !fs::HostFileExists(certificate) && !fs::HostFileExists(key)) {
        if (!WriteSelfSignedPair(certificate, key, LocalHostName(), why))
            handOff.log(TlsPairNotMadeLine(why));
    }
    std::shared_ptr<TTlsContext> context = TTlsContext::ForServer(certificate, key, why);
    if (!context) {
        handOff.log(TlsUnavailableLine(why));
        ftp.SetSecureChannelMaker(nullptr);
        return;
    }
    ftp.SetSecureChannelMaker(context->Maker());
    ftp.SetTlsRequiredForPasswords(s.TlsRequiredForPasswordLogins);
}

}  // namespace corvane
