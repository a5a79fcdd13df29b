// The FTP service's TLS: which certificate it shows, and what it requires of logins.
#include "core/ftp_tls_setup.h"

#include "core/server_settings.h"
#include "core/tls_certificates.h"
#include "ftp/ftp_server.h"

namespace corvane {

void ApplyFtpTlsSettings(TFtpServer& ftp, const ServerSettings& s, TlsCertificates& certificates)
{
    if (!certificates.Use(s)) {
        ftp.SetSecureChannelMaker(nullptr);
        return;
    }
    ftp.SetSecureChannelMaker(certificates.FtpMaker());
    ftp.SetTlsRequiredForPasswords(s.TlsRequiredForPasswordLogins);
}

}  // namespace corvane
