// FEAT's reply: one entry per feature line, in the order the lines are sent.
#pragma once

#include <string>

namespace corvane {

class TFtpCtrlSocket;

// "211-Features:", one line per feature (each after a blank), "211 End". The lines of FTPS
// only when the server has TLS to offer.
std::string FeatReply(const TFtpCtrlSocket& client, bool tlsAvailable);

}  // namespace corvane
