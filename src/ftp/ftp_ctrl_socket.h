// TFtpCtrlSocket: one client's FTP control connection.
//
// Owner thread: the thread of the TFtpServer that accepted it (as every socket, it belongs to the
// thread that created it). It reads command lines itself, without the line layer: received bytes
// are collected in RcvBuf until a line feed arrives, and each line is handed to OnCommand. A
// buffer that fills up without a line feed is discarded and the line "OVER" is handed on
// instead, so the server answers an over-long line as it answers the OVER command. The socket
// layer's OnDataAvailable is therefore never fired on a control connection.
//
// RcvBuf is allocated when bytes arrive and released whenever the received lines have emptied
// it, so an idle connection holds no receive buffer. A user of RcvBuf as a block buffer uses it
// only while RcvCnt is 0 (otherwise it holds the start of the next command line), asks for it
// again in each event and never keeps the pointer across events.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/thread_owner.h"
#include "ftp/ftp_data_channel.h"
#include "ftp/ftp_exceptions.h"
#include "ftp/ftp_transfer.h"
#include "ftp/ftp_types.h"
#include "net/line_wsocket.h"

namespace corvane {

class TFtpCtrlSocket : public TCustomWSocket {
public:
    using TCommandEvent = std::function<void(TFtpCtrlSocket* sender, const char* cmdBuf, int cmdLen)>;
    using TDateTime = std::chrono::system_clock::time_point;

    static constexpr int kDefaultRcvSize = 8196;

    TFtpCtrlSocket();
    ~TFtpCtrlSocket() override;

    // Published properties.
    TFtpCtrlState FtpState() const { return ftpState_; }
    void SetFtpState(TFtpCtrlState state) { ftpState_ = state; }
    const std::string& Banner() const { return banner_; }
    void SetBanner(const std::string& banner) { banner_ = banner; }
    int RcvSize() const { return rcvSize_; }
    // Raises EFtpCtrlSocketException "Data in buffer, can't change size" while RcvCnt is above
    // 0; a negative size counts as 0.
    void SetRcvSize(int size);
    const std::string& UserName() const { return userName_; }
    void SetUserName(const std::string& name) { userName_ = name; }
    const std::string& PassWord() const { return passWord_; }
    void SetPassWord(const std::string& password) { passWord_ = password; }
    long long UserData() const { return userData_; }
    void SetUserData(long long value) { userData_ = value; }

    // The command receive buffer (RcvSize bytes; allocated here when it does not exist yet) and
    // the count of bytes it holds. Transfers use the same buffer as their block buffer; the
    // pointer is valid until the connection's next event.
    char* RcvBuf();
    int RcvCnt() const { return rcvCnt_; }

    const std::string& HomeDirectory() const { return homeDirectory_; }
    void SetHomeDirectory(const std::string& path) { homeDirectory_ = path; }
    const std::string& Directory() const { return directory_; }
    // Changes the current folder by the path rules of CWD (relative and absolute paths, drives,
    // UNC shares when ftpcUNC is set, ".."); raises EFtpCtrlSocketException with the reason
    // when the path is not acceptable, leaving the folder as it was.
    virtual void SetDirectory(const std::string& path);
    // Puts back a folder remembered before a refused change, as it was (it passed the path
    // rules when it was set, so it is not run through them again).
    void RestoreDirectory(const std::string& previous) { directory_ = previous; }
    TFtpOptions Options() const { return options_; }
    void SetOptions(TFtpOptions options) { options_ = options; }

    // The remote address as captured when the connection was taken over or reported connected;
    // stays readable after the connection has ended.
    std::string GetPeerAddr() override { return peerAddr_; }
    std::string GetPeerPort() override { return peerPort_; }

    // Set by the server at accept; posted events find the client by it.
    long long ClientNumber() const { return clientNumber_; }
    void SetClientNumber(long long number) { clientNumber_ = number; }
    TDateTime ConnectedAt() const { return connectedAt_; }
    TDateTime LastCommandAt() const { return lastCommandAt_; }
    long long CommandCount() const { return commandCount_; }
    bool CloseRequested() const { return closeRequested_; }
    void SetCloseRequested(bool value) { closeRequested_ = value; }
    TFtpCommandId CurrentCommand() const { return currentCommand_; }
    void SetCurrentCommand(TFtpCommandId command) { currentCommand_ = command; }
    bool AbortingTransfer() const { return abortingTransfer_; }
    virtual void SetAbortingTransfer(bool value);

    // The data connection socket, created with the object and destroyed with it.
    TWSocket* DataWSocket() const { return dataWSocket_.get(); }

    // Sends the greeting: ConnectedAt := now, CommandCount := 0, FtpState := ftpcWaitingUserCode,
    // then Banner followed by CR LF.
    virtual void StartConnection();
    // Queues the text followed by CR LF.
    virtual void SendAnswer(const std::string& answer);

    void Dup(int handle) override;

    // A command whose answer comes later (a login being checked): the lines after it stay
    // unread until ReleaseCommands, which hands on those already received.
    void HoldCommands();
    void ReleaseCommands();
    bool CommandsHeld() const { return commandsHeld_; }

    // Fired once per received command line (without its line ending).
    TCommandEvent OnCommand;

    // The current transfer's names, stream, results and cache use, kept for the handlers of
    // the transfer and listing commands, the data connection and the owner.
    TFtpTransfer& Transfer() { return transfer_; }
    const TFtpTransfer& Transfer() const { return transfer_; }
    // RNFR's file and RNTO's target: a rename spans two commands, not a transfer.
    std::string RenameFromPath, RenameToPath;
    bool webLinkGranted = false;
    // The state of the data connection, its target and its passive port.
    TFtpDataChannel& DataChannel() { return dataChannel_; }
    const TFtpDataChannel& DataChannel() const { return dataChannel_; }
    // Puts a stream in the transfer's Stream that the engine drops when the transfer ends: its
    // own, or one that an owner hands over for this transfer.
    void SetEngineStream(TFtpStream stream);
    // Drops the transfer's Stream if it is the engine's; an owner's stream stays where it is.
    void DropEngineStream();
    TFtpSessionOptions SessionOptions;
    // FTPS: AUTH TLS has been answered and the handshake follows the reply; PBSZ has been
    // given on the protected connection; PROT P asks for protected data connections.
    bool SecureStartPending = false;
    bool ProtectionBufferSet = false;
    bool DataProtected = false;

protected:
    void TriggerSessionConnected(std::uint16_t error) override;
    void TriggerDataAvailable(std::uint16_t error) override;
    void HandleReadNotification(std::uint16_t error, bool forceLoop) override;
    virtual void TriggerCommand(const char* cmdBuf, int cmdLen);

private:
    void CapturePeer();
    void DeliverLines();

    TFtpCtrlState ftpState_ = ftpcInvalid;
    std::string banner_ = "220-Tiv FTP Server ready";
    int rcvSize_ = kDefaultRcvSize;
    std::unique_ptr<char[]> rcvBuf_;
    int rcvCnt_ = 0;
    bool commandsHeld_ = false;
    std::string userName_, passWord_;
    long long userData_ = 0;
    std::string homeDirectory_ = "C:\\TEMP\\";
    std::string directory_ = "C:\\TEMP\\";
    TFtpOptions options_ = 0;
    std::string peerAddr_, peerPort_;
    long long clientNumber_ = 0;
    TDateTime connectedAt_{};
    TDateTime lastCommandAt_{};
    long long commandCount_ = 0;
    bool closeRequested_ = false;
    TFtpCommandId currentCommand_ = ftpcCmdNone;
    bool abortingTransfer_ = false;
    std::unique_ptr<TWSocket> dataWSocket_;
    TFtpDataChannel dataChannel_;
    TFtpTransfer transfer_;
    // Tells the line loop that a command handler destroyed this object.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    ThreadOwner owner_;  // the accepting engine's thread
};

}  // namespace corvane
