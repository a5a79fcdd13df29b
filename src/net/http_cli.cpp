#include "net/http_cli.h"

#include "common/text_case.h"
#include "net/socks_errors.h"
#include "net/wsocket_functions.h"

namespace corvane {

const char* HttpStateName(THttpState state)
{
    switch (state) {
    case httpReady: return "httpReady";
    case httpNotConnected: return "httpNotConnected";
    case httpConnected: return "httpConnected";
    case httpDnsLookup: return "httpDnsLookup";
    case httpDnsLookupDone: return "httpDnsLookupDone";
    case httpWaitingHeader: return "httpWaitingHeader";
    case httpWaitingBody: return "httpWaitingBody";
    case httpAborting: return "httpAborting";
    }
    return "httpReady";
}

THttpCli::THttpCli()
    : socket_(std::make_unique<TWSocket>()),
      home_(std::make_shared<SocketHome>(EventLoop::Current()))
{
    socket_->OnDnsLookupDone = [this](TCustomWSocket*, std::uint16_t error) { SocketDnsLookupDone(error); };
    socket_->OnSessionConnected = [this](TCustomWSocket*, std::uint16_t error) { SocketSessionConnected(error); };
    socket_->OnDataAvailable = [this](TCustomWSocket*, std::uint16_t error) { SocketDataAvailable(error); };
    socket_->OnDataSent = [this](TCustomWSocket*, std::uint16_t error) { SocketDataSent(error); };
    socket_->OnSessionClosed = [this](TCustomWSocket*, std::uint16_t error) { SocketSessionClosed(error); };
    socket_->OnSocksConnected = [this](TCustomWSocket* sender, std::uint16_t error) {
        if (OnSocksConnected) OnSocksConnected(sender, error);
    };
    socket_->OnSocksAuthState = [this](TCustomWSocket* sender, TSocksAuthState authState) {
        if (OnSocksAuthState) OnSocksAuthState(sender, authState);
    };
    socket_->OnSocksError = [this](TCustomWSocket* sender, std::uint16_t error, const std::string& msg) {
        lastSocksError_ = msg;
        if (OnSocksError) OnSocksError(sender, error, msg);
    };
}

THttpCli::~THttpCli()
{
    home_->Abandon();
    // The socket goes first, without events: the component is no longer there to take them.
    socket_->OnSessionClosed = nullptr;
    socket_->OnDnsLookupDone = nullptr;
    socket_.reset();
}

void THttpCli::SetMultiThreaded(bool on)
{
    multiThreaded_ = on;
    socket_->SetMultiThreaded(on);
}

bool THttpCli::SetState(THttpState state)
{
    if (state_ == state) return true;
    const unsigned serial = serial_;
    state_ = state;
    if (OnStateChange) OnStateChange(this);
    return serial == serial_;
}

void THttpCli::PostForRequest(std::function<void()> work)
{
    // Work of a request that has been aborted (or replaced by the next one) meanwhile is dropped.
    home_->Post([this, serial = serial_, work = std::move(work)] {
        if (serial == serial_) work();
    });
}

// ---- starting a request ------------------------------------------------------------------------

void THttpCli::ClearHeaderResults()
{
    rcvdHeader_.clear();
    challenges_.clear();
    statusCode_ = 0;
    statusSeen_ = false;
    reasonPhrase_.clear();
    contentLength_ = -1;
    contentType_.clear();
    location_.clear();
    rcvBuf_.clear();
    bodyStarted_ = false;
}

void THttpCli::ClearResults()
{
    ClearHeaderResults();
    requestDoneError_ = 0;
    docName_.clear();
    rcvdCount_ = 0;
    sentCount_ = 0;
    redirections_ = 0;
    lineTooLong_ = false;
    lastSocksError_.clear();
}

void THttpCli::TakeTargetFromUrl()
{
    const HttpUrlParts parts = ParseURL(URL);
    if (!parts.user.empty()) {
        Username = parts.user;
        Password = parts.password;
    }
    if (!parts.host.empty() || !parts.scheme.empty() || parts.path.empty()) {
        target_.scheme = parts.scheme.empty() ? "http" : parts.scheme;
        target_.host = parts.host;
        target_.port = parts.port.empty() ? "80" : parts.port;
    }
    target_.path = parts.path.empty() ? "/" : parts.path;
}

void THttpCli::DoRequestAsync(THttpRequest request)
{
    if (state_ != httpReady) throw EHttpException("HTTP component is busy", 1);
    if (request == httpPOST && PostStream == nullptr) throw EHttpException("HTTP component has nothing to post", 2);
    ++serial_;
    finishing_ = false;
    relocating_ = false;
    sendingBody_ = false;
    request_ = request;
    ClearResults();
    if (!SetState(httpNotConnected)) return;
    TakeTargetFromUrl();
    docName_ = DocumentNameOf(target_.path);
    credentialsHost_ = target_.host;
    socks_ = SocksRoute{socket_->SocksServer(), socket_->SocksPort(), socket_->SocksLevel()};
    if (Proxy.empty() && !EqualsIgnoreCase(target_.scheme, "http")) {
        // Only a proxy can fetch another scheme (https, ftp) for us.
        FailRequest(0, "can't fetch a URL of the scheme \"" + target_.scheme + "\"");
        return;
    }
    Login();
}

void THttpCli::Login()
{
    // A connection left open by the previous request (or the one redirected from) goes first.
    if (socket_->State() != wsClosed) {
        const unsigned serial = serial_;
        socket_->Abort();
        if (serial != serial_) return;
    }
    if (!Proxy.empty()) {
        const HttpUrlParts proxy = ParseURL(Proxy);
        connectHost_ = proxy.host;
        connectPort_ = proxy.port.empty() ? ProxyPort : proxy.port;
    } else {
        connectHost_ = target_.host;
        connectPort_ = target_.port;
    }
    connected_ = false;
    if (!SetState(httpDnsLookup)) return;
    try {
        socket_->SetLocalAddr(LocalAddr);
        socket_->OnError = OnSocketError;
        // Through SOCKS the lookup is of the proxy; the destination's name goes to the proxy.
        socket_->DnsLookup(socks_.server.empty() ? connectHost_ : socks_.server);
    } catch (const std::exception& e) {
        FailRequest(static_cast<std::uint16_t>(socket_->LastError()), e.what());
    }
}

void THttpCli::SocketDnsLookupDone(std::uint16_t error)
{
    if (state_ != httpDnsLookup) return;  // aborted, or a cancelled lookup
    if (error != 0) {
        FailRequest(error, "can't resolve hostname to IP address");
        return;
    }
    if (SetState(httpDnsLookupDone)) ConnectToServer();
}

void THttpCli::ConnectToServer()
{
    const std::string resolved = socket_->DnsResult();
    std::string refusal;
    try {
        if (!socks_.server.empty()) {
            socket_->SetSocksServer(resolved);
            socket_->SetSocksPort(socks_.port);
            socket_->SetSocksLevel(socks_.level);
            socket_->SetAddr(connectHost_);
        } else {
            socket_->SetAddr(resolved);
        }
        socket_->SetPort(connectPort_);
        socket_->SetProto("tcp");
        socket_->Connect();
    } catch (const std::exception& e) {
        refusal = e.what();  // reported below, from the socket's state
    }
    if (state_ != httpDnsLookupDone) return;  // a handler moved on (an abort, or a quick failure)
    if (socket_->State() == wsConnecting || socket_->State() == wsConnected) return;
    const int error = socket_->LastError();
    socket_->Abort();
    // A refusal before any network call (a port that names no service) has no error number.
    FailRequest(static_cast<std::uint16_t>(error),
                error != 0 ? "can't connect: " + WSocketErrorDesc(error) + " (Error #" + std::to_string(error) + ")"
                           : "can't connect: " + (refusal.empty() ? std::string("invalid address or port") : refusal));
}

void THttpCli::SocketSessionConnected(std::uint16_t error)
{
    if (state_ != httpDnsLookupDone) return;
    if (error != 0) {
        const bool fromSocks = IsSocksError(error) && !lastSocksError_.empty();
        const std::string text = fromSocks ? lastSocksError_ : WSocketErrorDesc(error);
        FailRequest(error, text + " (Error #" + std::to_string(error) + ")");
        return;
    }
    connected_ = true;
    const unsigned serial = serial_;
    if (!SetState(httpConnected)) return;
    if (OnSessionConnected) OnSessionConnected(this);
    if (serial != serial_ || !SetState(httpWaitingHeader)) return;
    SendRequestHeader();
    if (serial != serial_ || request_ != httpPOST) return;
    sendingBody_ = true;
    if (OnSendBegin) OnSendBegin(this);
}

void THttpCli::SocketDataSent(std::uint16_t)
{
    if (sendingBody_ && (state_ == httpWaitingHeader || state_ == httpWaitingBody)) SendPostChunk();
}

void THttpCli::SocketSessionClosed(std::uint16_t error)
{
    connected_ = false;
    if (finishing_ || state_ == httpReady || state_ == httpAborting) return;
    if (relocating_) {
        Relocate();
        return;
    }
    if (state_ == httpDnsLookup || state_ == httpDnsLookupDone) {
        // The connection ended before it was usable (a proxy that gave up on the way).
        const int code = error != 0 ? static_cast<int>(error) : static_cast<int>(WSAECONNABORTED);
        FailRequest(static_cast<std::uint16_t>(code),
                    WSocketErrorDesc(code) + " (Error #" + std::to_string(code) + ")");
        return;
    }
    if (error != 0) requestDoneError_ = error;
    if (lineTooLong_) {
        statusCode_ = 404;
        reasonPhrase_ = "HTTP line too long";
        requestDoneError_ = 4;
        Finish();
        return;
    }
    if (state_ == httpWaitingHeader || state_ == httpConnected) {
        if (OnHeaderEnd) OnHeaderEnd(this);
        if (!location_.empty()) {
            StartRelocation();
            if (relocating_) Relocate();
            return;
        }
        statusCode_ = 404;
        reasonPhrase_ = "connection closed before the reply header ended";
        Finish();
        return;
    }
    // The body ends with the connection.
    if (contentLength_ >= 0 && rcvdCount_ < contentLength_ && request_ != httpHEAD && statusCode_ < 400) {
        statusCode_ = 404;
        reasonPhrase_ = "connection closed before the document ended";
    }
    if (bodyStarted_ && OnDocEnd) OnDocEnd(this);
    Finish();
}

// ---- ending a request --------------------------------------------------------------------------

void THttpCli::FailRequest(std::uint16_t error, const std::string& reason)
{
    statusCode_ = 404;
    reasonPhrase_ = reason;
    requestDoneError_ = error;
    Finish();
}

void THttpCli::Finish()
{
    if (finishing_) return;
    finishing_ = true;
    sendingBody_ = false;
    if (socket_->State() != wsClosed) socket_->Close();
    PostForRequest([this] {
        SetState(httpReady);
        PostForRequest([this] {
            if (OnRequestDone) OnRequestDone(this, request_, requestDoneError_);
        });
    });
}

void THttpCli::Abort()
{
    if (state_ == httpReady) {
        if (socket_->State() != wsClosed) socket_->Close();
        return;
    }
    ++serial_;  // nothing posted for the request runs any more
    SetState(httpAborting);
    try {
        socket_->CancelDnsLookup();
    } catch (...) {}
    statusCode_ = 404;
    reasonPhrase_ = "Connection aborted on request";
    requestDoneError_ = 3;
    connected_ = false;
    sendingBody_ = false;
    relocating_ = false;
    try {
        socket_->Abort();
    } catch (...) {}
    finishing_ = true;
    SetState(httpReady);
    PostForRequest([this] {
        if (OnRequestDone) OnRequestDone(this, request_, requestDoneError_);
    });
}

void THttpCli::DoRequestSync(THttpRequest request)
{
    DoRequestAsync(request);
    EventLoop* loop = EventLoop::Current();
    if (loop != nullptr) loop->RunUntil([this] { return state_ == httpReady; });
    if (statusCode_ > 399) throw EHttpException(reasonPhrase_, statusCode_);
}

}  // namespace corvane
