// THttpCli: the HTTP/1.0 client component, built on one TWSocket.
//
// Owner thread: the thread that created it (it needs that thread's EventLoop); every event runs
// there. One request at a time. The asynchronous forms (GetASync, PostASync, HeadASync) return
// at once and end with OnRequestDone; the synchronous forms (Get, Post, Head) serve the owner
// thread's own queue until the request is done, and raise EHttpException when the status is
// above 399 (every failure of the client itself is reported as status 404 with its reason). The
// reply body goes to ReplyStream, also for a failing status.
//
// A request goes direct, through an HTTP proxy (Proxy) or through a SOCKS proxy (the Socks
// properties, passed to the socket). The SOCKS route is taken when the request starts and
// serves its redirections too; the socket forgets it at the close, so it is set again before
// each request. Redirections are followed up to kMaxRedirections times.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/http_url.h"
#include "net/line_wsocket.h"
#include "net/socket_home.h"

namespace corvane {

class EHttpException : public std::runtime_error {
public:
    EHttpException(const std::string& message, int errorCode)
        : std::runtime_error(message),
          errorCode_(errorCode)
    {}
    int ErrorCode() const { return errorCode_; }

private:
    int errorCode_;
};

enum THttpState {
    httpReady,
    httpNotConnected,
    httpConnected,
    httpDnsLookup,
    httpDnsLookupDone,
    httpWaitingHeader,
    httpWaitingBody,
    httpAborting
};
enum THttpRequest { httpAbort, httpGET, httpPOST, httpHEAD };

const char* HttpStateName(THttpState state);

class THttpCli {
public:
    using TNotifyEvent = std::function<void(THttpCli* sender)>;
    using TDataEvent = std::function<void(THttpCli* sender, const char* data, int len)>;
    using TCommandEvent = std::function<void(THttpCli* sender, std::string& line)>;
    using TRequestDoneEvent = std::function<void(THttpCli* sender, THttpRequest request, std::uint16_t error)>;
    using TCookieEvent = std::function<void(THttpCli* sender, const std::string& value, bool& accept)>;
    using TBeforeHeaderSendEvent =
        std::function<void(THttpCli* sender, const std::string& method, std::vector<std::string>& headers)>;
    using TTraceEvent = std::function<void(THttpCli* sender, const std::string& text)>;

    static constexpr int kReceiveBufferSize = 8192;
    static constexpr int kSendBufferSize = 8193;
    static constexpr int kBodyBlockSize = 65536;
    static constexpr int kMaxRedirections = 20;

    THttpCli();
    ~THttpCli();
    THttpCli(const THttpCli&) = delete;
    THttpCli& operator=(const THttpCli&) = delete;

    // Properties.
    std::string URL, LocalAddr = "0.0.0.0", Proxy, ProxyPort = "80";
    std::string Sender, Agent = "Mozilla/3.0 (compatible)";
    std::string Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    std::string AcceptLanguage, Reference, Username, Password, ProxyUsername, ProxyPassword;
    bool NoCache = false;
    std::time_t ModifiedSince = 0;  // 0: none
    std::string Cookie, ContentTypePost = "application/x-www-form-urlencoded";
    std::string ContentRangeBegin, ContentRangeEnd;  // cleared after each request header
    std::string AcceptRanges;                        // the reply's Accept-Ranges value
    std::istream* PostStream = nullptr;              // not owned; read from its position
    std::ostream* ReplyStream = nullptr;             // not owned
    bool MultiThreaded() const { return multiThreaded_; }
    void SetMultiThreaded(bool on);

    // The SOCKS route, kept by the socket's SOCKS layer.
    const std::string& SocksServer() const { return socket_->SocksServer(); }
    void SetSocksServer(const std::string& v) { socket_->SetSocksServer(v); }
    const std::string& SocksPort() const { return socket_->SocksPort(); }
    void SetSocksPort(const std::string& v) { socket_->SetSocksPort(v); }
    const std::string& SocksLevel() const { return socket_->SocksLevel(); }
    void SetSocksLevel(const std::string& v) { socket_->SetSocksLevel(v); }
    const std::string& SocksUsercode() const { return socket_->SocksUsercode(); }
    void SetSocksUsercode(const std::string& v) { socket_->SetSocksUsercode(v); }
    const std::string& SocksPassword() const { return socket_->SocksPassword(); }
    void SetSocksPassword(const std::string& v) { socket_->SetSocksPassword(v); }
    TSocksAuthentication SocksAuthentication() const { return socket_->SocksAuthentication(); }
    void SetSocksAuthentication(TSocksAuthentication v) { socket_->SetSocksAuthentication(v); }

    // Results.
    int StatusCode() const { return statusCode_; }
    const std::string& ReasonPhrase() const { return reasonPhrase_; }
    long long ContentLength() const { return contentLength_; }
    const std::string& ContentType() const { return contentType_; }
    const std::string& DocName() const { return docName_; }
    const std::string& Location() const { return location_; }
    const std::vector<std::string>& RcvdHeader() const { return rcvdHeader_; }
    const std::vector<std::string>& AuthChallenges() const { return challenges_; }
    long long RcvdCount() const { return rcvdCount_; }
    long long SentCount() const { return sentCount_; }
    std::uint16_t RequestDoneError() const { return requestDoneError_; }
    bool Connected() const { return connected_; }
    THttpState State() const { return state_; }
    TWSocket& CtrlSocket() { return *socket_; }

    // Requests.
    void Get() { DoRequestSync(httpGET); }
    void Post() { DoRequestSync(httpPOST); }
    void Head() { DoRequestSync(httpHEAD); }
    void GetASync() { DoRequestAsync(httpGET); }
    void PostASync() { DoRequestAsync(httpPOST); }
    void HeadASync() { DoRequestAsync(httpHEAD); }
    void Abort();

    // Events.
    TNotifyEvent OnSessionConnected, OnHeaderData, OnHeaderBegin, OnHeaderEnd, OnRequestHeaderBegin, OnRequestHeaderEnd,
        OnDocBegin, OnDocEnd, OnSendBegin, OnSendEnd, OnStateChange, OnLocationChange;
    TCommandEvent OnCommand;
    TDataEvent OnDocData, OnSendData;
    TRequestDoneEvent OnRequestDone;
    TCookieEvent OnCookie;
    TBeforeHeaderSendEvent OnBeforeHeaderSend;
    TTraceEvent OnTrace;
    TCustomWSocket::TSessionEvent OnSocksConnected;
    TCustomSocksWSocket::TSocksAuthStateEvent OnSocksAuthState;
    TCustomSocksWSocket::TSocksErrorEvent OnSocksError;
    TCustomWSocket::TNotifyEvent OnSocketError;

private:
    struct SocksRoute {
        std::string server, port, level;
    };

    void DoRequestAsync(THttpRequest request);
    void DoRequestSync(THttpRequest request);
    // False when a handler of the change aborted the request (or started another).
    bool SetState(THttpState state);
    void ClearResults();
    void ClearHeaderResults();
    void TakeTargetFromUrl();
    void Login();
    void ConnectToServer();
    void FailRequest(std::uint16_t error, const std::string& reason);
    void Finish();
    void PostForRequest(std::function<void()> work);

    // Socket events.
    void SocketDnsLookupDone(std::uint16_t error);
    void SocketSessionConnected(std::uint16_t error);
    void SocketDataAvailable(std::uint16_t error);
    void SocketDataSent(std::uint16_t error);
    void SocketSessionClosed(std::uint16_t error);

    // Request (http_cli_request.cpp).
    std::vector<std::string> RequestHeaderLines(const std::string& method);
    void SendRequestHeader();
    void SendPostChunk();
    void EndBodyBeforeReply();
    long long PostBytesLeft();

    // Reply (http_cli_reply.cpp).
    void ReceiveHeaderBytes();
    void ReceiveBodyBytes();
    bool ParseBufferedLines();
    void HeaderLine(const std::string& line, const char* raw, std::size_t rawLength);
    void HeaderField(const std::string& line);
    void HeaderEnded();
    void DeliverBody(const char* data, std::size_t len);
    bool BodyComplete() const;
    void StartRelocation();
    void Relocate();

    std::unique_ptr<TWSocket> socket_;
    std::shared_ptr<SocketHome> home_;  // the component's own posted events
    bool multiThreaded_ = false;
    THttpState state_ = httpReady;
    THttpRequest request_ = httpGET;
    unsigned serial_ = 0;  // which request posted work and socket events belong to
    bool finishing_ = false;
    bool relocating_ = false;
    bool lineTooLong_ = false;
    int redirections_ = 0;
    HttpTarget target_;
    HttpTarget pendingTarget_;     // where the redirection in progress leads
    std::string credentialsHost_;  // the host that Username and Password are for
    std::string connectHost_, connectPort_;
    SocksRoute socks_;
    std::string lastSocksError_;

    int statusCode_ = 0;
    bool statusSeen_ = false;
    std::string reasonPhrase_;
    long long contentLength_ = -1;
    std::string contentType_, docName_, location_;
    std::vector<std::string> rcvdHeader_, challenges_;
    long long rcvdCount_ = 0, sentCount_ = 0;
    std::uint16_t requestDoneError_ = 0;
    bool connected_ = false;
    bool bodyStarted_ = false;
    bool sendingBody_ = false;
    std::string rcvBuf_;  // header bytes not yet cut into lines (at most kReceiveBufferSize)
};

}  // namespace corvane
