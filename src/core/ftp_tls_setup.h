// FTPS: the certificate pair, made on a first run, and the engine's TLS channels; without a
// usable pair the engine stays in the clear, with a log line why. Server thread, at each FTP
// start.
#pragma once

namespace corvane {

class ServerHandOff;
class TFtpServer;
struct ServerSettings;

void ApplyFtpTlsSettings(TFtpServer& ftp, const ServerSettings& settings, ServerHandOff& handOff);

}  // namespace corvane
