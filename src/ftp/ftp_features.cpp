#include "ftp/ftp_features.h"

#include "ftp/ftp_ctrl_socket.h"
#include "ftp/ftp_mlsx_facts.h"

namespace corvane {
namespace {

struct TFtpFeature {
    // The feature line without its leading blank.
    const char* line;
    // When set, what follows the line for this client (MLST names the facts it chose).
    std::string (*detail)(const TFtpCtrlSocket& client) = nullptr;
    // Offered only by a server that has TLS (a certificate in use).
    bool needsTls = false;
};

std::string MlstFacts(const TFtpCtrlSocket& client)
{
    return " " + MlsxFactNames(client.SessionOptions.mlsxFacts, true);
}

// Only what the engine implements: a client trusts this list and uses each line it finds.
const TFtpFeature kFeatures[] = {
    {"AUTH TLS", nullptr, true},
    {"EPRT"},
    {"EPSV"},
    {"MDTM"},
    {"MFMT"},
    {"MLST", &MlstFacts},
    {"PBSZ", nullptr, true},
    {"PROT", nullptr, true},
    {"REST STREAM"},
    {"SIZE"},
    {"UTF8"},
};

}  // namespace

std::string FeatReply(const TFtpCtrlSocket& client, bool tlsAvailable)
{
    std::string reply = "211-Features:\r\n";
    for (const TFtpFeature& feature : kFeatures) {
        if (feature.needsTls && !tlsAvailable) continue;
        reply += ' ';
        reply += feature.line;
        if (feature.detail) reply += feature.detail(client);
        reply += "\r\n";
    }
    return reply + "211 End";
}

}  // namespace corvane
