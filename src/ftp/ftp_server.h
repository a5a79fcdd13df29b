// TFtpServer: the FTP engine. It listens on the FTP port, keeps one TFtpCtrlSocket per client,
// dispatches each command line through its command table and sends one reply per command.
//
// Owner thread: the thread that created it (it needs that thread's EventLoop); every socket of
// the engine and every event it fires belongs to that thread. The engine decides nothing about
// accounts or permissions: it raises an event wherever policy matters and acts on the answer.
//
// Work that would destroy or reconfigure a client from inside one of that client's own events
// (closing after QUIT, ending a client whose connection closed) is posted to the owner's loop.
// A posted event names its client by ClientNumber, which is never reused; it is dropped when no
// client of ClientList has that number any more, so a posted event never touches a freed client.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "ftp/ftp_ctrl_socket.h"
#include "ftp/ftp_exceptions.h"
#include "ftp/ftp_mlsx_facts.h"
#include "ftp/ftp_types.h"
#include "net/line_wsocket.h"
#include "net/secure_channel.h"

namespace corvane {

class TFtpServer {
public:
    using TFtpSrvCommandProc =
        std::function<void(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer)>;
    using TClientFactory = std::function<std::unique_ptr<TFtpCtrlSocket>()>;

    using TFtpSrvNotifyEvent = std::function<void(TFtpServer* sender)>;
    using TFtpSrvClientEvent = std::function<void(TFtpServer* sender, TFtpCtrlSocket* client)>;
    using TFtpSrvClientConnectEvent =
        std::function<void(TFtpServer* sender, TFtpCtrlSocket* client, std::uint16_t error)>;
    using TFtpSrvClientCommandEvent = std::function<void(
        TFtpServer* sender, TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer)>;
    using TFtpSrvAnswerToClientEvent =
        std::function<void(TFtpServer* sender, TFtpCtrlSocket* client, std::string& answer)>;
    using TFtpSrvAuthenticateEvent =
        std::function<void(TFtpServer* sender, TFtpCtrlSocket* client, const std::string& userName,
                           const std::string& password, bool& authenticated, std::string& answer)>;
    using TFtpSrvChangeDirectoryEvent =
        std::function<void(TFtpServer* sender, TFtpCtrlSocket* client, const std::string& directory, bool& allowed)>;
    using TFtpSrvBuildDirectoryEvent =
        std::function<void(TFtpServer* sender, TFtpCtrlSocket* client, std::string& directory, bool detailed)>;
    using TFtpSrvValidateFileEvent =
        std::function<void(TFtpServer* sender, TFtpCtrlSocket* client, std::string& filePath, bool& allowed)>;
    using TFtpSrvUniqueFileNameEvent =
        std::function<void(TFtpServer* sender, TFtpCtrlSocket* client, std::string& fileName)>;
    using TFtpSrvGetProcessingEvent =
        std::function<void(TFtpServer* sender, TFtpCtrlSocket* client, bool& delayedSend)>;
    using TFtpSrvDataSessionEvent =
        std::function<void(TFtpServer* sender, TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error)>;
    using TFtpSrvFolderRightsEvent = std::function<void(TFtpServer* sender, TFtpCtrlSocket* client,
                                                        const std::string& folder, TFtpFolderRights& rights)>;
    using TFtpSrvDataAvailableEvent = std::function<void(TFtpServer* sender, TFtpCtrlSocket* client, TWSocket* data,
                                                         char* buf, int len, std::uint16_t error)>;

    static constexpr int kMaxCommands = 32;
    // How long a TLS handshake may take, on the control connection or a data connection,
    // unless the owner sets another limit.
    static constexpr std::chrono::milliseconds kDefaultTlsHandshakeLimit{20000};
    // The control listener's accept queue (the kernel caps it at net.core.somaxconn).
    static constexpr int kControlListenBacklog = 1024;

    TFtpServer();
    virtual ~TFtpServer();
    TFtpServer(const TFtpServer&) = delete;
    TFtpServer& operator=(const TFtpServer&) = delete;

    // Published properties.
    const std::string& Addr() const { return addr_; }
    void SetAddr(const std::string& addr) { addr_ = addr; }
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& port) { port_ = port; }
    const std::string& Banner() const { return banner_; }
    void SetBanner(const std::string& banner) { banner_ = banner; }
    int MaxClients() const { return maxClients_; }
    void SetMaxClients(int max) { maxClients_ = max; }
    long long UserData() const { return userData_; }
    void SetUserData(long long value) { userData_ = value; }
    const std::string& PasvIpAddr() const { return pasvIpAddr_; }
    void SetPasvIpAddr(const std::string& addr) { pasvIpAddr_ = addr; }
    int PasvPortRangeStart() const { return pasvPortRangeStart_; }
    // Setting either end of the range frees every port of it.
    void SetPasvPortRangeStart(int port);
    int PasvPortRangeSize() const { return pasvPortRangeSize_; }
    void SetPasvPortRangeSize(int size);
    // One in-use flag per port of the range, from its first port on.
    const std::vector<bool>& PasvPortsInUse() const { return pasvPortsInUse_; }

    // Makes the control connection objects; TFtpCtrlSocket by default. The owner substitutes
    // its own subclass before Start.
    TClientFactory ClientClass;

    // The listening socket ("ServerWSocket"); its GetXPort tells the port actually bound.
    TWSocket& ServerWSocket() { return *serverWSocket_; }

    // Listens on Addr:Port; nothing when already listening. Errors of Listen propagate.
    void Start();
    // Stops listening; connected clients stay connected and keep being served.
    void Stop();
    bool Active() const;
    void SetActive(bool active);

    // For the owner's OnClientConnect: the new connection is not started (no banner, no busy
    // refusal) when the handler returns, but when the owner calls StartHeldConnection, for a
    // connect decision that waits for an answer from elsewhere (a reverse lookup). Nothing
    // for a client that is not one of ours.
    void HoldConnectionStart(TFtpCtrlSocket* client);
    void StartHeldConnection(TFtpCtrlSocket* client);
    // For the owner's OnAuthenticate: the PASS is answered later, by AnswerLogin, once a check
    // that runs elsewhere is done; the client's next commands wait for it. A refusal answers
    // `refusal`, or "530 Login incorrect." when it is empty.
    void DeferLoginAnswer(TFtpCtrlSocket* client);
    void AnswerLogin(TFtpCtrlSocket* client, bool authenticated, std::string answer, const std::string& refusal);
    // The client with this number, or nullptr when it has gone (numbers are never reused).
    TFtpCtrlSocket* FindClientByNumber(long long clientNumber) const;
    // Clients accepted from now on are numbered after `number` (an owner that runs one engine
    // after another keeps the numbers of all its engines apart). Never moves the count back.
    void ContinueClientNumbersAfter(long long number);

    // Ends a client at once (its OnClientDisconnect fires before this returns); raises
    // FtpServerException "Disconnect: Not one of our clients" for any other object. The object
    // itself is freed from a posted event, so a handler of that very client may call this.
    void Disconnect(TFtpCtrlSocket* client);
    void DisconnectAll();

    virtual int GetClientCount() const { return static_cast<int>(clientList_.size()); }
    int ClientCount() const { return GetClientCount(); }
    // The client at an index, or nullptr for an index outside the list.
    virtual TFtpCtrlSocket* GetClient(int index) const;
    TFtpCtrlSocket* Client(int index) const { return GetClient(index); }
    bool IsClient(const void* object) const;

    // Appends a command to the table; raises FtpServerException "Too many command" beyond 32.
    virtual void AddCommand(const std::string& keyword, TFtpSrvCommandProc proc);

    // Fires OnAnswerToClient, then queues the (possibly changed) answer and CR LF on the client.
    // Errors of either step are ignored: a reply to a vanished peer is simply lost.
    void SendAnswer(TFtpCtrlSocket* client, std::string answer);

    // Posts a start-send event for the client (a download whose start the owner delayed).
    virtual void DoStartSendData(TFtpCtrlSocket* client);

    // The passive port range. GetNextAvailablePASVPort marks the first free port of the range in
    // use and returns it as text; "0" (the system chooses) when the range is empty; "" when
    // every port of the range is in use. FreeCurrentPASVPort gives back the port that the
    // client's data socket holds, once (nothing when it holds none of the range).
    std::string GetNextAvailablePASVPort();
    void FreeCurrentPASVPort(TFtpCtrlSocket* client);

    // Starts the data connection of a download or listing: passive, it waits for (or uses) the
    // client's connection to the listener; active, it connects to ClientDataAddr:ClientDataPort.
    // Raises with the reason when the connection cannot be started.
    void StartSendData(TFtpCtrlSocket* client);
    // Reads the next block of the download or listing and sends it; at the end of the data, has
    // the data connection closed. Exactly one block is in flight at a time.
    void SendNextDataChunk(TFtpCtrlSocket* client, TWSocket* data);

    // FTPS, explicit (ftp_commands_tls.cpp). The maker of the server side of TLS channels:
    // without one, AUTH is refused and every connection stays in the clear.
    void SetSecureChannelMaker(TSecureChannelMaker maker) { secureMaker_ = std::move(maker); }
    bool SecureAvailable() const { return static_cast<bool>(secureMaker_); }
    // When on (and TLS is available), USER of any account but the anonymous one is refused on
    // a control connection that is not protected: no password crosses the network in clear.
    bool TlsRequiredForPasswords() const { return tlsRequiredForPasswords_; }
    void SetTlsRequiredForPasswords(bool on) { tlsRequiredForPasswords_ = on; }
    std::chrono::milliseconds TlsHandshakeLimit() const { return tlsHandshakeLimit_; }
    void SetTlsHandshakeLimit(std::chrono::milliseconds limit) { tlsHandshakeLimit_ = limit; }

    // Events (unassigned ones are skipped).
    TFtpSrvNotifyEvent OnStart;
    TFtpSrvNotifyEvent OnStop;
    TFtpSrvClientConnectEvent OnClientConnect;
    TFtpSrvClientConnectEvent OnClientDisconnect;
    TFtpSrvClientCommandEvent OnClientCommand;
    TFtpSrvAnswerToClientEvent OnAnswerToClient;
    TFtpSrvAuthenticateEvent OnAuthenticate;
    TFtpSrvChangeDirectoryEvent OnChangeDirectory;
    TFtpSrvChangeDirectoryEvent OnMakeDirectory;
    TFtpSrvBuildDirectoryEvent OnBuildDirectory;
    TFtpSrvBuildDirectoryEvent OnAlterDirectory;
    TFtpSrvValidateFileEvent OnValidatePut;
    TFtpSrvValidateFileEvent OnValidateGet;
    TFtpSrvValidateFileEvent OnValidateSize;
    TFtpSrvValidateFileEvent OnValidateDele;
    TFtpSrvValidateFileEvent OnValidateRmd;
    TFtpSrvValidateFileEvent OnValidateRnFr;
    TFtpSrvValidateFileEvent OnValidateRnTo;
    TFtpSrvUniqueFileNameEvent OnGetUniqueFileName;
    TFtpSrvGetProcessingEvent OnGetProcessing;
    TFtpSrvDataSessionEvent OnStorSessionConnected;
    TFtpSrvDataSessionEvent OnRetrSessionConnected;
    TFtpSrvDataAvailableEvent OnStorDataAvailable;
    TFtpSrvDataSessionEvent OnRetrDataSent;
    TFtpSrvDataSessionEvent OnStorSessionClosed;
    TFtpSrvDataSessionEvent OnRetrSessionClosed;
    // A listing (LIST, NLST, MLSD) accepted as a transfer failed before anything was sent; it is
    // answered "451 Failed: %s." and no data-session event follows. Fired before that reply.
    TFtpSrvClientEvent OnTransferFailedBeforeSending;
    // The extension commands' questions: the account's rights in a folder (the perm facts of
    // MLSD and MLST), whether an entry may be shown by MLST, whether MFMT may set a file's time.
    TFtpSrvFolderRightsEvent OnFolderRights;
    TFtpSrvValidateFileEvent OnValidateMlst;
    TFtpSrvValidateFileEvent OnValidateMfmt;

protected:
    // The work the engine posts to itself, always for one client.
    enum class TFtpPostedEvent { CloseRequest, ClientClosed, AbortTransfer, CloseData, StartSend };

    virtual void TriggerServerStart();
    virtual void TriggerServerStop();
    virtual void TriggerAuthenticate(TFtpCtrlSocket* client, const std::string& userName, const std::string& password,
                                     bool& authenticated, std::string& answer);
    virtual void TriggerChangeDirectory(TFtpCtrlSocket* client, const std::string& directory, bool& allowed);
    virtual void TriggerMakeDirectory(TFtpCtrlSocket* client, const std::string& directory, bool& allowed);
    virtual void TriggerSendAnswer(TFtpCtrlSocket* client, std::string& answer);
    virtual void TriggerClientConnect(TFtpCtrlSocket* client, std::uint16_t error);
    virtual void TriggerClientDisconnect(TFtpCtrlSocket* client, std::uint16_t error);
    virtual void TriggerClientCommand(TFtpCtrlSocket* client, std::string& keyword, std::string& params,
                                      std::string& answer);
    virtual void TriggerStorSessionConnected(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error);
    virtual void TriggerStorSessionClosed(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error);
    virtual void TriggerValidatePut(TFtpCtrlSocket* client, std::string& filePath, bool& allowed);
    virtual void TriggerValidateSize(TFtpCtrlSocket* client, std::string& filePath, bool& allowed);
    virtual void TriggerValidateDele(TFtpCtrlSocket* client, std::string& filePath, bool& allowed);
    virtual void TriggerValidateRmd(TFtpCtrlSocket* client, std::string& filePath, bool& allowed);
    virtual void TriggerValidateRnFr(TFtpCtrlSocket* client, std::string& filePath, bool& allowed);
    virtual void TriggerValidateRnTo(TFtpCtrlSocket* client, std::string& filePath, bool& allowed);
    virtual void TriggerRetrSessionConnected(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error);
    virtual void TriggerRetrSessionClosed(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error);
    // Failures of the owner's handler are ignored: the reply goes out either way.
    virtual void TriggerTransferFailedBeforeSending(TFtpCtrlSocket* client);
    virtual void TriggerValidateGet(TFtpCtrlSocket* client, std::string& filePath, bool& allowed);
    virtual void TriggerStorDataAvailable(TFtpCtrlSocket* client, TWSocket* data, char* buf, int len,
                                          std::uint16_t error);
    virtual void TriggerRetrDataSent(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error);
    virtual void TriggerGetUniqueFileName(TFtpCtrlSocket* client, std::string& fileName);
    virtual void TriggerBuildDirectory(TFtpCtrlSocket* client, std::string& directory, bool detailed);
    virtual void TriggerAlterDirectory(TFtpCtrlSocket* client, std::string& directory, bool detailed);
    virtual void TriggerGetProcessing(TFtpCtrlSocket* client, bool& delayedSend);
    virtual void TriggerFolderRights(TFtpCtrlSocket* client, const std::string& folder, TFtpFolderRights& rights);
    virtual void TriggerValidateMlst(TFtpCtrlSocket* client, std::string& filePath, bool& allowed);
    virtual void TriggerValidateMfmt(TFtpCtrlSocket* client, std::string& filePath, bool& allowed);

    // Command handlers: each receives the client, the keyword, the parameters and the answer to
    // fill. Those marked as needing a login answer "530 Please login with USER and PASS." unless
    // the client's FtpState is ftpcReady.
    virtual void CommandUSER(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandPASS(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    // The end of a PASS, at once or in AnswerLogin: the state, the home and the reply.
    void ConcludeLogin(TFtpCtrlSocket* client, bool authenticated, std::string& answer, const std::string& refusal);
    virtual void CommandQUIT(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandNOOP(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandLIST(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandNLST(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandDELE(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandSIZE(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandREST(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandRNFR(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandRNTO(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandPORT(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandSTOR(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandRETR(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandTYPE(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandCWD(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandChangeDir(TFtpCtrlSocket* client, std::string& keyword, std::string& params,
                                  std::string& answer);
    virtual void CommandMKD(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandRMD(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandCDUP(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandXPWD(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandPWD(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandSYST(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandABOR(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandPASV(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandAPPE(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandSTRU(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandMDTM(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandMODE(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandOverflow(TFtpCtrlSocket* client, std::string& keyword, std::string& params,
                                 std::string& answer);
    virtual void CommandSTOU(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    // The security commands of FTPS: AUTH TLS, PBSZ, PROT and CCC (refused).
    virtual void CommandAUTH(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandPBSZ(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandPROT(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandCCC(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    // The extension table (ftp_extension_commands.cpp, ftp_extended_data.cpp, ftp_mlsx_commands.cpp).
    virtual void CommandFEAT(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandOPTS(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandHELP(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandALLO(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandEPSV(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandEPRT(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandMLSD(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandMLST(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandMFMT(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    virtual void CommandCHMOD(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    // After EPSV ALL, the other commands that set up a data connection are refused.
    static bool RefusedAfterEpsvAll(TFtpCtrlSocket* client, const char* keyword, std::string& answer);
    // The engine's machine listing (MLSD) of `params` relative to the client's Directory.
    void BuildMachineListing(TFtpCtrlSocket* client, const std::string& params, std::ostream& stream);
    // MLSD of something that is not a folder: answers 550 before any transfer starts.
    bool MachineListingRefused(TFtpCtrlSocket* client, const std::string& params, std::string& answer);
    // The listing text of LIST, NLST or MLSD, by the command the client is running.
    void BuildListingFor(TFtpCtrlSocket* client, const std::string& params, std::ostream& stream, bool detailed);

    // LIST (detailed) and NLST after their login test, the recording of the command and the
    // acceptance of the transfer: the owner's listing, or the engine's own, altered as the owner
    // likes, then "150" and the sending; a failure before the sending answers "451 Failed: %s.".
    virtual void CommandDirectory(TFtpCtrlSocket* client, std::string& params, bool detailed, std::string& answer);

    // True when the client is logged in; otherwise fills the 530 answer.
    static bool CheckLoggedIn(TFtpCtrlSocket* client, std::string& answer);

    // The start of every transfer command (RETR, STOR, APPE, STOU, LIST, NLST): refuses it with
    // "425 Transfer already in progress." while an earlier transfer of the client has not given
    // its final reply (that transfer goes on undisturbed); otherwise records the command as the
    // one that decides the data handlers and the final reply, and clears TransferredBytes.
    bool BeginTransfer(TFtpCtrlSocket* client, TFtpCommandId command, std::string& answer);

    // Data connections: the upload's opening (passive or active), the passive listener's
    // accept, and the handlers of the two directions.
    virtual void OpenUploadDataConnection(TFtpCtrlSocket* client);
    // PASV's and EPSV's listener: the next port of the range, listening; returns the port bound.
    // Raises with the reason.
    int OpenPassiveListener(TFtpCtrlSocket* client);
    // The data channel after PASV or EPSV: a listener waits, or (after a failure) none does.
    void SetPassiveFlags(TFtpCtrlSocket* client, bool listening);
    virtual void ClientPassiveSessionAvailable(TFtpCtrlSocket* client, std::uint16_t error);
    virtual void ClientRetrSessionConnected(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error);
    virtual void ClientRetrDataSent(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error);
    virtual void ClientRetrSessionClosed(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error);
    virtual void ClientStorSessionConnected(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error);
    virtual void ClientStorDataAvailable(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error);
    virtual void ClientStorSessionClosed(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error);

    // Posts work for a client; it runs after the current handler returns, and only if the client
    // is then still in ClientList with the same ClientNumber.
    void PostClientEvent(TFtpPostedEvent event, TFtpCtrlSocket* client);
    // The posted transfer events; the transfer layer fills them in (nothing happens by default).
    virtual void HandleAbortTransfer(TFtpCtrlSocket* client);
    virtual void HandleCloseData(TFtpCtrlSocket* client);
    virtual void HandleStartSend(TFtpCtrlSocket* client);

    // The client-closed procedure: ends a pending transfer as failed, removes the client from
    // ClientList, fires OnClientDisconnect and has the object freed.
    void ClientClosedProcedure(TFtpCtrlSocket* client);

private:
    // Sends the banner, or the busy refusal when the server is full.
    void StartAcceptedConnection(TFtpCtrlSocket* client);
    struct TFtpCommandEntry {
        std::string keyword;
        TFtpSrvCommandProc proc;
    };

    using TFtpCommandHandler = void (TFtpServer::*)(TFtpCtrlSocket*, std::string&, std::string&, std::string&);
    struct TFtpBuiltinCommand {
        const char* keyword;
        TFtpCommandHandler handler;
    };
    TFtpSrvCommandProc Bound(TFtpCommandHandler handler);
    void FillCommandTable();
    // After the reply to AUTH has been queued in the clear: the control connection's handshake.
    void StartPendingControlTls(TFtpCtrlSocket* client);
    // USER of a password account on a control connection in the clear, while TLS is required.
    bool RefusePlainLogin(TFtpCtrlSocket* client, const std::string& keyword, const std::string& params,
                          std::string& answer) const;
    // Data connections under PROT P: an active connection's handshake follows its connect, a
    // passive one's its accept; a transfer waiting for it hears a failure as the data
    // connection's close, with the reason as the transfer's message.
    bool DataProtectionWanted(const TFtpCtrlSocket* client) const;
    TSecureChannelMaker DataChannelMaker() const;
    void ProtectActiveData(TFtpCtrlSocket* client);
    void ProtectPassiveData(TFtpCtrlSocket* client, int handle);
    void PassiveDataSecured(TFtpCtrlSocket* client, std::uint16_t error);
    void DataSecureFailed(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error);
    // The commands beyond the 32 of the table, looked up when the table has no entry.
    void FillExtensionTable();
    std::string HelpReply(const std::string& params) const;
    void ServerSessionAvailable(std::uint16_t error);
    void ServerChangeState(TSocketState oldState, TSocketState newState);
    void AttachClientHandlers(TFtpCtrlSocket* client);
    void ClientCommand(TFtpCtrlSocket* client, const char* cmdBuf, int cmdLen);
    void DispatchCommand(TFtpCtrlSocket* client, std::string& keyword, std::string& params, std::string& answer);
    void ClientDataSent(TFtpCtrlSocket* client);
    void HandleCloseRequest(TFtpCtrlSocket* client);
    void HandlePostedEvent(TFtpPostedEvent event, long long clientNumber);
    void RetireClient(std::unique_ptr<TFtpCtrlSocket> client);

    // Data-connection helpers (ftp_data_connection.cpp, ftp_transfer_*.cpp).
    void AttachDownloadHandlers(TFtpCtrlSocket* client);
    void AttachUploadHandlers(TFtpCtrlSocket* client);
    static void DetachDataHandlers(TWSocket* data);
    // Connects the data socket to ClientDataAddr:ClientDataPort; with `fromDataPort`, from the
    // control connection's address and port 20 when this process may bind it, else any port.
    void ConnectActiveData(TFtpCtrlSocket* client, bool fromDataPort, bool downloadHandlers);
    // Closes the data socket without firing its handlers and gives back its passive port.
    void CloseDataSilently(TFtpCtrlSocket* client);
    // The steps both directions take when their data connection has closed.
    void CommonDataSessionClosed(TFtpCtrlSocket* client);
    // A transfer that ends before its data connection existed: back to the idle state.
    void AbandonTransfer(TFtpCtrlSocket* client);
    // The first steps of STOR, APPE and STOU: the requested name, the transfer's fresh state,
    // the local path and the owner's OnValidatePut. False (the transfer no longer running)
    // when the owner refuses; `path` is the local path to write.
    bool PrepareUpload(TFtpCtrlSocket* client, const std::string& requestedName, std::string& path);
    // ABOR of a transfer whose data connection is not up yet: ends it with its reply.
    void CallOffTransfer(TFtpCtrlSocket* client);
    // A client that goes: its data connection, passive port and held block go with it.
    void EndDataOfLeavingClient(TFtpCtrlSocket* client);
    // Ends a download as failed: the reason, the aborting flag, and the posted abort.
    void FailDownload(TFtpCtrlSocket* client, const std::string& reason);
    // The next block now, or after the pause that the owner asked for in HoldNextBlockMs.
    void ContinueDownload(TFtpCtrlSocket* client, TWSocket* data);
    // The upload's file, opened at its first block (or at its end, for an empty upload).
    void OpenUploadFile(TFtpCtrlSocket* client);

    std::string addr_ = "0.0.0.0";
    std::string port_ = "ftp";
    std::string banner_ = "220 Tiv FTP Server ready.";
    int maxClients_ = 0;
    long long userData_ = 0;
    std::string pasvIpAddr_;
    int pasvPortRangeStart_ = 0;
    int pasvPortRangeSize_ = 0;
    std::vector<bool> pasvPortsInUse_;

    EventLoop* loop_ = nullptr;
    std::unique_ptr<TWSocket> serverWSocket_;
    std::vector<std::unique_ptr<TFtpCtrlSocket>> clientList_;
    std::unordered_set<const void*> clientObjects_;  // the objects of clientList_, for IsClient
    std::unordered_set<long long> heldStarts_;       // client numbers whose start the owner holds
    // Clients already ended, waiting for the posted event that frees them.
    std::vector<std::unique_ptr<TFtpCtrlSocket>> retiredClients_;
    long long connectionCounter_ = 0;
    std::vector<TFtpCommandEntry> commandTable_;
    TSecureChannelMaker secureMaker_;
    bool tlsRequiredForPasswords_ = false;
    std::chrono::milliseconds tlsHandshakeLimit_ = kDefaultTlsHandshakeLimit;
    std::vector<TFtpCommandEntry> extensionTable_;
    bool destroying_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace corvane
