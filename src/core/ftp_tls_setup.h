// FTPS: the engine's TLS channels from the pair in force; without a usable pair the engine
// stays in the clear (TlsCertificates logs why). Server thread, at each FTP start.
#pragma once

namespace corvane {

class TFtpServer;
class TlsCertificates;
struct ServerSettings;

void ApplyFtpTlsSettings(TFtpServer& ftp, const ServerSettings& settings, TlsCertificates& certificates);

}  // namespace corvane
