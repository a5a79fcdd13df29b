// TCustomWSocket: the asynchronous, event-driven socket at the bottom of the socket layer.
//
// Owner thread: the thread that created it (it takes that thread's EventLoop, which must exist).
// Every event runs there, one at a time; no operation may be called from another thread.
// The socket never blocks: what the stack does not take stays queued in 1460-byte blocks and goes
// out on the next write readiness. Events are fired through virtual Trigger operations so that a
// derived layer can intercept any of them. Posted work (the write notification after Send,
// CloseDelayed, Release, lookup results) is dropped when the socket has been destroyed meanwhile.
// ThreadDetach and ThreadAttach hand a socket to another thread: its notifications and its
// posted work follow it there (see SocketHome).
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/dns_lookup_request.h"
#include "net/secure_channel.h"
#include "net/send_queue.h"
#include "net/socket_exception.h"
#include "net/socket_home.h"
#include "platform/event_loop.h"
#include "platform/socket_api.h"

namespace corvane {

enum TSocketState { wsInvalidState, wsOpened, wsBound, wsConnecting, wsConnected, wsAccepting, wsListening, wsClosed };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TWSocketOption : unsigned { wsoNoReceiveLoop = 1u << 0, wsoTcpNoDelay = 1u << 1 };
using TWSocketOptions = unsigned;  // a set of TWSocketOption bits

const char* SocketStateName(TSocketState state);

class TCustomWSocket {
public:
    using TNotifyEvent = std::function<void(TCustomWSocket* sender)>;
    using TSessionEvent = std::function<void(TCustomWSocket* sender, std::uint16_t error)>;
    using TSendDataEvent = std::function<void(TCustomWSocket* sender, int bytesSent)>;
    using TChangeStateEvent = std::function<void(TCustomWSocket* sender, TSocketState oldState, TSocketState newState)>;
    using TBgExceptionEvent = std::function<void(TCustomWSocket* sender, const std::exception& e, bool& canClose)>;

    static constexpr int kSendBlockSize = 1460;

    TCustomWSocket();
    virtual ~TCustomWSocket();
    TCustomWSocket(const TCustomWSocket&) = delete;
    TCustomWSocket& operator=(const TCustomWSocket&) = delete;

    // Properties. Addr, Port, Proto, LocalAddr and LocalPort change only while wsClosed.
    const std::string& Addr() const { return addr_; }
    void SetAddr(const std::string& value);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& value);
    const std::string& Proto() const { return proto_; }
    void SetProto(const std::string& value);
    const std::string& LocalAddr() const { return localAddr_; }
    void SetLocalAddr(const std::string& value);
    const std::string& LocalPort() const { return localPort_; }
    void SetLocalPort(const std::string& value);
    TSocketState State() const { return state_; }
    long long ReadCount() const { return readCount_; }
    int LastError() const { return lastError_; }
    bool AllSent() const { return allSent_; }
    TWSocketOptions ComponentOptions() const { return options_; }
    // A connected stream socket takes a change of the send-delay option at once.
    void SetComponentOptions(TWSocketOptions options);
    TSocketSendFlags SendFlags() const { return sendFlags_; }
    void SetSendFlags(int flags);
    TSocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
    void SetLingerOnOff(TSocketLingerOnOff value) { lingerOnOff_ = value; }
    int LingerTimeout() const { return lingerTimeout_; }
    void SetLingerTimeout(int seconds) { lingerTimeout_ = seconds; }
    bool MultiThreaded() const { return multiThreaded_; }
    void SetMultiThreaded(bool value) { multiThreaded_ = value; }
    int HSocket() const { return fd_; }
    // Result of the last DnsLookup (every address, dotted; DnsResult is the first) or
    // ReverseDnsLookup (the host name).
    const std::string& DnsResult() const { return dnsResult_; }
    const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
    // Datagram options: Connect sets the multicast time-to-live when MultiCast is on and the TTL
    // is not 1; Listen joins MultiCastAddrStr when MultiCast is on and allows address reuse when
    // ReuseAddr is on.
    bool MultiCast() const { return multiCast_; }
    void SetMultiCast(bool on) { multiCast_ = on; }
    const std::string& MultiCastAddrStr() const { return multiCastAddrStr_; }
    void SetMultiCastAddrStr(const std::string& group) { multiCastAddrStr_ = group; }
    int MultiCastIpTTL() const { return multiCastIpTtl_; }
    void SetMultiCastIpTTL(int ttl) { multiCastIpTtl_ = ttl; }
    bool ReuseAddr() const { return reuseAddr_; }
    void SetReuseAddr(bool on) { reuseAddr_ = on; }
    // How many finished connections the stack keeps waiting for accept on a listening stream
    // socket. 5 unless set; a server that may see many connections at once sets more, or the
    // stack drops the rest of a burst and their clients retry seconds later.
    int ListenBacklog() const { return listenBacklog_; }
    void SetListenBacklog(int backlog) { listenBacklog_ = backlog; }
    // Set when ProcessMessages saw a quit request of the owner's loop.
    bool Terminated() const { return terminated_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }

    // The remote end of a connected socket, asked of the stack on each read; "error" otherwise.
    virtual std::string GetPeerAddr();
    virtual std::string GetPeerPort();
    std::string PeerAddr() { return GetPeerAddr(); }
    std::string PeerPort() { return GetPeerPort(); }
    // The local end the handle is bound to (wsBound, wsConnected, wsListening); "error" otherwise.
    virtual std::string GetXAddr();
    virtual std::string GetXPort();
    virtual int GetSockName(sockapi::Endpoint& local);
    virtual int GetPeerName(sockapi::Endpoint& peer);
    // Bytes the stack holds ready to read; -1 on error.
    virtual int GetRcvdCount();
    int RcvdCount() { return GetRcvdCount(); }

    // Operations.
    virtual void Connect();
    virtual void Listen();
    virtual int Accept();
    // The peer of the connection the last Accept took, as the stack named it then.
    const sockapi::Endpoint& AcceptedPeer() const { return acceptedPeer_; }
    virtual void Dup(int handle);
    virtual int Send(const void* data, int len);
    virtual int SendStr(const std::string& text);
    // The last bytes before the sending direction closes: as Send, and when the stack takes them
    // whole at once (nothing queued ahead, no secure channel) the sending direction is shut
    // down with them, so that the FIN leaves in the same segment as their end. Otherwise the
    // caller's own shutdown, once all has gone, ends it as usual.
    int SendLast(const void* data, int len);
    int SendLastStr(const std::string& text) { return SendLast(text.data(), static_cast<int>(text.size())); }
    // Sends `count` bytes of the open file `fileHandle` from `offset`, straight from the file to
    // the stack (no copy through this process), after whatever is queued already; bytes sent
    // later follow them. Like Send it never blocks, and OnDataSent fires once everything has
    // gone to the stack, never inside this call. The handle must stay open until then, or until
    // the socket closes. When the file ends before `count` bytes, the send ends with it:
    // FileBytesSent tells how many of them went. One file at a time: a second SendFile before
    // the first has gone is refused (10037). Stream sockets in normal send mode only (10045
    // otherwise). Returns `count`, or -1 when refused.
    virtual long long SendFile(int fileHandle, long long offset, long long count);
    // Sends `count` bytes from `data` straight from that memory, which `keep` keeps alive and
    // unchanged until they have gone: like SendFile (one at a time with it, FileBytesSent tells
    // how many went), but for bytes this process holds, which are never copied into the queue.
    virtual long long SendHeld(std::shared_ptr<const void> keep, const char* data, long long count);
    // Bytes of the last SendFile that have gone to the stack so far.
    long long FileBytesSent() const { return sendQueue_.FileBytesSent(); }

    // Reading held for the sending: while more than `bytes` of what was sent wait in this
    // socket's own buffer (the stack took no more), nothing more is read from the peer, so a
    // peer that sends requests and reads no answer cannot grow the process; reading resumes
    // once the waiting bytes are down to the limit again. 0 (the default): never held.
    void SetSendBacklogLimit(long long bytes) { sendBacklogLimit_ = bytes; }
    long long SendBacklogLimit() const { return sendBacklogLimit_; }
    // Bytes queued in this socket's buffer and not yet taken by the stack (a file being sent
    // from the file not counted).
    long long QueuedByteCount() const { return sendQueue_.QueuedBytes(); }
    bool SendBacklogFull() const { return sendBacklogLimit_ > 0 && sendQueue_.QueuedBytes() > sendBacklogLimit_; }
    bool ReadingHeldForSending() const { return readHeld_; }
    int SendText(const std::string& text) { return SendStr(text); }
    void PutDataInSendBuffer(const void* data, int len);
    void PutStringInSendBuffer(const std::string& text)
    {
        PutDataInSendBuffer(text.data(), static_cast<int>(text.size()));
    }
    virtual int Receive(void* buffer, int len);
    virtual std::string ReceiveStr();
    // One datagram: sent at once to `dest` (flags: a TSocketSendFlags value), or received with
    // the sender's address. The count, or -1 with LastError set (10035 when nothing is waiting).
    virtual int SendTo(const sockapi::Endpoint& dest, int flags, const void* data, int len);
    virtual int ReceiveFrom(void* buffer, int len, sockapi::Endpoint& from);
    int PeekData(void* buffer, int len);
    virtual void Close();
    // Close that lets the stack finish sending what it holds (linger off), whatever the
    // linger setting was: for refusals that must reach the peer before it is dropped. What the
    // peer has sent and nobody read is dropped first, since a close with unread data is a reset,
    // and a reset may destroy the refusal before the peer reads it.
    void CloseGracefully();
    // The first half of such a close, for a socket whose owner closes it later (a client the
    // server retires): sends what is queued, shuts the sending side down (a FIN follows the last
    // byte), drops what the peer has sent so far and turns the abortive close off.
    void FinishSending();
    virtual void Abort();
    virtual void CloseDelayed();
    virtual void Release();
    virtual void Shutdown(int how);
    virtual void Flush();
    virtual void WaitForClose();
    virtual void Pause();
    virtual void Resume();
    void DeleteBufferedData();
    // Asynchronous lookups: the result arrives as OnDnsLookupDone on the owner thread, after the
    // calling handler has returned. A new lookup cancels the pending one.
    virtual void DnsLookup(const std::string& hostName);
    virtual void ReverseDnsLookup(const std::string& hostAddr);
    // Fires OnDnsLookupDone(10004) when a lookup was pending (not from the destructor).
    virtual void CancelDnsLookup();
    bool DnsLookupPending() const { return dnsRequest_ != nullptr; }

    // The secure channel (custom_wsocket_secure.cpp). StartSecureChannel makes a connected
    // stream socket encrypted: what was queued before the call still goes out as it was, then
    // the channel's handshake runs on the readiness of the handle, never blocking, and at most
    // `timeLimit`. Meanwhile nothing is read for the owner and what it sends waits. The outcome
    // comes as OnSecureChannelReady: 0, and from then on every send and receive goes through
    // the channel; or an error (WSAETIMEDOUT for the time limit, WSAECONNABORTED for a failed
    // handshake), after which the socket is closed. Only closing the socket ends the channel.
    void StartSecureChannel(std::unique_ptr<TSecureChannel> channel, std::chrono::milliseconds timeLimit);
    // A channel made for the connection that Connect opens next: its handshake runs once the
    // connection is made, and OnSessionConnected fires when it is done (with the error of a
    // failed one). Cleared by a close.
    void SecureNextConnection(TSecureChannelMaker maker, std::chrono::milliseconds timeLimit);
    bool SecureHandshaking() const { return secure_ != nullptr && secureState_ != SecureState::Ready; }
    bool Secure() const { return secure_ != nullptr && secureState_ == SecureState::Ready; }
    // The channel, or nullptr when the connection is not secure.
    TSecureChannel* SecureChannel() const { return secure_.get(); }
    // How the last SendFile's bytes went: straight from the file, through the kernel's own
    // encryption, or read here and encrypted by the channel.
    enum class FileSendPath { None, Direct, KernelEncrypted, CopiedThroughChannel };
    FileSendPath LastFileSendPath() const { return lastFileSendPath_; }
    TSessionEvent OnSecureChannelReady;

    // Moving to another thread: ThreadDetach on the owner thread stops the notifications; then
    // ThreadAttach on the new thread (which must have an EventLoop) asks for them again there.
    void ThreadDetach();
    void ThreadAttach();
    bool Attached() const { return loop_ != nullptr; }

    // Runs the owner's queue (the socket's own loop; see MultiThreaded in the design notes).
    virtual void MessagePump();
    void ProcessMessages();
    // Runs the owner's queue until its loop is asked to quit.
    void MessageLoop();

    // Events (unassigned ones are skipped).
    TSessionEvent OnSessionAvailable;
    TSessionEvent OnSessionConnected;
    TSessionEvent OnDataAvailable;
    TSessionEvent OnDataSent;
    TSendDataEvent OnSendData;
    TSessionEvent OnSessionClosed;
    TChangeStateEvent OnChangeState;
    TSessionEvent OnDnsLookupDone;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;

protected:
    virtual void AssignDefaultValue();
    virtual void InternalClose(bool shutdownFirst, std::uint16_t error);
    virtual void RaiseException(const std::string& message);
    virtual void HandleBackGroundException(const std::exception& e);
    virtual void TriggerSessionAvailable(std::uint16_t error);
    virtual void TriggerSessionConnected(std::uint16_t error);
    virtual void TriggerDataAvailable(std::uint16_t error);
    virtual void TriggerDataSent(std::uint16_t error);
    virtual void TriggerSendData(int bytesSent);
    virtual void TriggerSessionClosed(std::uint16_t error);
    virtual void TriggerChangeState(TSocketState oldState, TSocketState newState);
    virtual void TriggerError();
    virtual void TriggerDNSLookupDone(std::uint16_t error);
    virtual void TriggerSecureChannelReady(std::uint16_t error);
    // Fired when the connection attempt of a stream socket has finished. A layer that puts a
    // negotiation between the connection and the application (SOCKS) takes it here and fires
    // TriggerSessionConnected itself once the connection is usable.
    virtual void TriggerSessionConnectedSpecial(std::uint16_t error) { TriggerSessionConnected(error); }
    // The host and port that Connect opens the connection to: Addr and Port, unless a layer
    // sends the connection somewhere else first (a proxy).
    virtual std::string ConnectHostText() const { return addr_; }
    virtual std::string ConnectPortText() const { return port_; }
    // Reads for the receive loop when no handler takes the data; the line layer overrides.
    virtual int DoRecv(void* buffer, int len, bool peek);
    virtual int DoRecvFrom(void* buffer, int len, sockapi::Endpoint& from);
    // Handles one read readiness: the receive loop; the line layer overrides.
    virtual void HandleReadNotification(std::uint16_t error, bool forceLoop);

    // Called once reading resumes after a hold; line mode delivers the lines it kept meanwhile.
    virtual void ReadingResumed() {}

    void AddReadCount(long long count) { readCount_ += count; }
    // For a layer that reports its own failures through LastError.
    void SetLastError(int error) { lastError_ = error; }
    // The owner's loop; nullptr while detached.
    EventLoop* Loop() { return loop_; }
    // Runs an event body inside the background-exception guard.
    void Guarded(const std::function<void()>& body);
    // Posts work to the owner's queue that runs only if this socket still exists.
    void PostSelf(std::function<void(TCustomWSocket*)> work);

private:
    // Debug builds: the caller runs on the owner's loop (or the socket is detached).
    void AssertOwnerThread() const;
    bool ChangeState(TSocketState newState);
    void SocketError(const std::string& function);
    void SocketErrorNumber(int error, const std::string& function);
    void TryToSend();
    // Holds reading while the send backlog is full; called after anything was queued.
    void HoldReadingWhileBacklogFull();
    void DropUnreadInput();  // reads and drops what the stack holds (bounded)
    void RequestNotifications();
    void ReceiveLoop(std::uint16_t error, bool forceLoop);
    void OnReadiness(std::uint32_t events);
    void HandleConnectComplete(std::uint16_t error);
    void HandleWriteNotification(std::uint16_t error);
    void HandleCloseNotification(std::uint16_t error);
    // `beforeClose`: the handle is closed next (see EventLoop::UnwatchFd).
    void StopWatching(bool beforeClose = false);
    int SendDatagram(const void* data, int len);
    void StartLookup(DnsLookupRequest::Kind kind, const std::string& query, const char* who);
    void LookupFinished(int error, const std::vector<std::string>& results);
    void UpdateWriteInterest();
    // Sends through the secure channel when there is one, else straight to the handle.
    int StreamSend(const sockapi::Slice* slices, int count, bool urgent, int& sent);
    // Send and SendLast; `last` holds the bytes back for the shutdown's FIN.
    int SendBytes(const void* data, int len, bool last);
    int StreamSendFile(int fileHandle, long long offset, long long count, long long& sent);
    int StreamReceive(void* buffer, int len, bool peek, int& received);
    bool SendQueuedBlocks();
    bool SendFileRange();
    int SendHeldRange(long long& sent);
    // SendFile and SendHeld: the checks, then `startInQueue` puts the stretch in the queue and it
    // goes as far as the stack takes it now.
    long long SendStretch(const char* caller, bool valid, long long count, const std::function<void()>& startInQueue);
    void SendFailed(int error);
    void ApplyLinger();
    bool ResolveForUse(const char* what, const std::string& host, const std::string& port, sockapi::Endpoint& remote,
                       int& protocol);
    bool SetStoredText(std::string& field, bool& assigned, const std::string& value, const char* name);

    EventLoop* loop_ = nullptr;
    int fd_ = -1;
    TSocketState state_ = wsClosed;
    bool paused_ = false;
    bool closeInvoked_ = false;  // the once-only session-closed flag
    bool sendingShut_ = false;   // Shutdown ended the sending direction of this handle already
    bool destroying_ = false;
    int lastError_ = 0;
    std::string name_;
    std::string addr_, port_, proto_ = "tcp", localAddr_ = "0.0.0.0", localPort_ = "0";
    bool addrAssigned_ = false, portAssigned_ = false, protoAssigned_ = true;
    bool listeningStream_ = false;
    bool streamSocket_ = true;
    long long readCount_ = 0;
    bool allSent_ = true;
    TWSocketOptions options_ = 0;
    TSocketSendFlags sendFlags_ = wsSendNormal;
    TSocketLingerOnOff lingerOnOff_ = wsLingerOn;
    int lingerTimeout_ = 0;
    bool multiThreaded_ = false;
    TSendQueue sendQueue_{kSendBlockSize};
    long long sendBacklogLimit_ = 0;
    bool readHeld_ = false;
    sockapi::Endpoint acceptedPeer_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // owner-thread checks
    std::shared_ptr<SocketHome> home_;                            // posted work, any thread
    std::shared_ptr<DnsLookupRequest> dnsRequest_;
    std::string dnsResult_;
    std::vector<std::string> dnsResultList_;
    bool multiCast_ = false;
    std::string multiCastAddrStr_;
    int multiCastIpTtl_ = 1;
    bool reuseAddr_ = false;
    int listenBacklog_ = 5;
    bool terminated_ = false;
    // The secure channel and its handshake.
    enum class SecureState { WaitingForQueue, Handshaking, Ready };
    void BeginHandshake();
    void ContinueHandshake();
    void FinishHandshake(std::uint16_t error);
    void HandshakeTimedOut();
    void DropSecureChannel();
    void ReadPendingPlaintext();
    // After a read through the channel: the peer's closing alert, or decrypted bytes still held.
    void AfterSecureRead();
    std::unique_ptr<TSecureChannel> secure_;
    SecureState secureState_ = SecureState::Ready;
    std::chrono::milliseconds handshakeLimit_{0};
    EventLoop::TimerId handshakeTimer_ = 0;
    TSecureChannelMaker nextConnectionMaker_;
    std::chrono::milliseconds nextConnectionLimit_{0};
    bool connectPending_ = false;  // OnSessionConnected waits for the handshake
    FileSendPath lastFileSendPath_ = FileSendPath::None;
};

}  // namespace corvane
