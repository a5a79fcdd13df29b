// Small value types shared by the FTP server and its control connections.
#pragma once

#include <iostream>
#include <memory>

namespace corvane {

// Login state of a control connection. The engine never enters ftpcWaitingAnswer.
enum TFtpCtrlState { ftpcInvalid, ftpcWaitingUserCode, ftpcWaitingPassword, ftpcReady, ftpcWaitingAnswer };

enum TFtpOption : unsigned { ftpcUNC = 1u << 0 };
using TFtpOptions = unsigned;  // a set of TFtpOption bits

// One value per command of the server's command table, in table order (XMKD and XRMD have
// their own values although they share the MKD and RMD handlers); ftpcCmdNone before the first.
// The commands of the extension table follow (XCWD and XCUP record CWD and CDUP).
enum TFtpCommandId {
    ftpcCmdNone,
    ftpcPORT,
    ftpcSTOR,
    ftpcRETR,
    ftpcCWD,
    ftpcXPWD,
    ftpcPWD,
    ftpcUSER,
    ftpcPASS,
    ftpcLIST,
    ftpcNLST,
    ftpcTYPE,
    ftpcSYST,
    ftpcQUIT,
    ftpcDELE,
    ftpcSIZE,
    ftpcREST,
    ftpcRNFR,
    ftpcRNTO,
    ftpcMKD,
    ftpcRMD,
    ftpcABOR,
    ftpcPASV,
    ftpcNOOP,
    ftpcCDUP,
    ftpcAPPE,
    ftpcSTRU,
    ftpcXMKD,
    ftpcXRMD,
    ftpcMDTM,
    ftpcMODE,
    ftpcOVER,
    ftpcSTOU,
    ftpcFEAT,
    ftpcOPTS,
    ftpcHELP,
    ftpcALLO,
    ftpcEPSV,
    ftpcEPRT,
    ftpcMLSD,
    ftpcMLST,
    ftpcMFMT,
};

// What a client chose for its session through OPTS and EPSV ALL.
struct TFtpSessionOptions {
    bool utf8 = false;         // OPTS UTF8 ON: names are sent as the bytes on disk either way
    bool epsvOnly = false;     // EPSV ALL: no other command may set up a data connection
    unsigned mlsxFacts = ~0u;  // the facts MLSD and MLST show, one bit per TFtpMlsxFact
};

// The source or target of a transfer, or an owner-supplied in-memory copy of a file or listing.
// Shared ownership: the owner's cache may keep a stream that a control connection also reads;
// TFtpStreamOwner then only says whether the connection resets its share at the end.
using TFtpStream = std::shared_ptr<std::iostream>;

// Who drops a client's transfer stream.
enum class TFtpStreamOwner {
    // Whoever put it in place clears the field; the engine leaves it alone (a stream left there
    // is the source of the next download).
    Owner,
    // The engine: it drops its share when the transfer ends, however it ends. An owner that
    // hands a stream of its own over for one transfer sets this too.
    Engine,
};

}  // namespace corvane
