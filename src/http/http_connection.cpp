#include "http/http_connection.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "common/ip_text.h"
#include "common/per_second_text.h"
#include "http/header_rate.h"
#include "http/html_folder.h"
#include "http/http_texts.h"
#include "platform/fs.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

std::string_view StatusLineVersion(const std::string& version)
{
    return version.size() == 8 && version.compare(0, 7, "HTTP/1.") == 0 ? std::string_view(version)
                                                                        : std::string_view("HTTP/1.0");
}

// The Last-Modified text of the document sent last on this thread: a server that sends the
// same file again and again writes its date once.
const std::string& LastModifiedText(std::time_t when)
{
    thread_local PerSecondText text(RFC1123_Date);
    return text.Of(when);
}

// The header lines every file answer carries: ranges are offered, and the document's date.
void AppendFileHeaders(std::string& out, std::time_t documentTime)
{
    out.append("Accept-Ranges: bytes\r\n");
    if (documentTime != 0) out.append("Last-Modified: ").append(LastModifiedText(documentTime)).append(" GMT\r\n");
}

void AppendNumber(std::string& out, std::int64_t value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

}  // namespace

THttpConnection::THttpConnection()
{
    OnDataAvailable = [this](TCustomWSocket*, std::uint16_t) { DataAvailable(); };
}

THttpConnection::~THttpConnection() = default;

const std::string& THttpConnection::LocalAddress()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (localAddress_.empty()) localAddress_ = GetXAddr();
    return localAddress_;
}

std::string THttpConnection::ResponseVersion() const { return std::string(StatusLineVersion(RequestVersion)); }

// ---- Reading requests ----

void THttpConnection::DataAvailable()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    lastReceive_ = Clock::now();
    if (!headerStarted_ && !state_.Responding() && bodyRemaining_ == 0) {
        headerStarted_ = true;
        headerStart_ = lastReceive_;
    }
    if (state_.Draining()) {
        Drain();
        return;
    }
    if (bodyRemaining_ > 0) {
        ReadBody();
        return;
    }
    if (!LineMode()) {
        // Neither a body nor a drain is being read: what came is lines, delivered again as such.
        SetLineMode(true);
        return;
    }
    if (RefusedTlsHello()) return;
    std::string line = ReceiveStr();
    if (line.empty()) return;
    if (state_.Responding()) {
        Hold(std::move(line));
        return;
    }
    LineReceived(std::move(line));
}

void THttpConnection::HandleReadNotification(std::uint16_t error, bool forceLoop)
{
    TWSocketClient::HandleReadNotification(error, forceLoop);
    // A handshake holds no line end in its first bytes as a rule: it is seen in the buffer.
    if (!firstBytesChecked_ && State() == wsConnected) RefusedTlsHello();
}

bool THttpConnection::RefusedTlsHello()
{
    if (firstBytesChecked_ || RcvdCnt() == 0) return false;
    firstBytesChecked_ = true;
    constexpr char kHandshakeRecord = 0x16;
    if (SecureChannel() != nullptr || Buffered().front() != kHandshakeRecord) return false;
    AnswerError("400 Bad Request");
    return true;
}

void THttpConnection::Hold(std::string line)
{
    if (state_.Closing()) return;  // nothing more is answered on a connection that closes
    heldBytes_ += line.size();
    if (heldBytes_ > Limits.heldLimit) {
        // A client that sends requests far ahead of reading the answers is not served further.
        Abort();
        return;
    }
    held_.push_back(std::move(line));
}

void THttpConnection::LineReceived(std::string line)
{
    headerBytes_ += line.size();
    if (Limits.lineLimit > 0 && line.size() > static_cast<std::size_t>(Limits.lineLimit)) {
        // A whole line that arrived at once is as refused as one that never ends.
        AnswerError(state_.AwaitingRequest() ? "414 URI Too Long" : "431 Request Header Fields Too Large");
        return;
    }
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find('\r') != std::string::npos) {
        // A bare carriage return inside a line: the request cannot be read the same way by
        // every party that sees it.
        AnswerError("400 Bad Request");
        return;
    }
    if (state_.AwaitingRequest()) {
        if (line.empty()) return;  // blank lines before a request are tolerated
        StartRequest(line);
        return;
    }
    if (state_.Current() == THttpConnectionState::State::ReadingHeader) {
        if (!line.empty()) {
            HeaderLine(line);
            return;
        }
        state_.Apply(THttpConnectionState::Event::HeaderEnd);
        ProcessRequest();
    }
}

void THttpConnection::StartRequest(const std::string& line)
{
    if (reuse_ == Reuse::ClientCloses) reuse_ = Reuse::ServerCloses;
    headers_.Clear();
    HeaderContentLength = 0;
    HeaderContentType.clear();
    HeaderAccept.clear();
    HeaderReferer.clear();
    HeaderAcceptLanguage.clear();
    HeaderAcceptEncoding.clear();
    HeaderUserAgent.clear();
    HeaderHost.clear();
    HeaderConnection.clear();
    HeaderRange.clear();
    HeaderIfModifiedSince.clear();
    headerCount_ = 0;
    const THttpRequestLine request = ParseRequestLine(line);
    RequestMethod = request.method;
    Path = request.path;
    Params = request.params;
    RequestVersion = request.version;
    state_.Apply(THttpConnectionState::Event::RequestLine);
}

void THttpConnection::HeaderLine(const std::string& line)
{
    if (++headerCount_ > Limits.maxHeaders) {
        AnswerError("431 Request Header Fields Too Large");
        return;
    }
    ApplyHeaderLine(line, headers_);
}

void THttpConnection::TriggerLineLimitExceeded(int rcvdLength, bool& clearData)
{
    TWSocketClient::TriggerLineLimitExceeded(rcvdLength, clearData);
    clearData = true;
    if (state_.Closing()) return;
    if (state_.Responding()) {
        // A pipelined line that never ends: the response in flight is the last, and the rest
        // of the line is drained before the close.
        reuse_ = Reuse::ServerCloses;
        state_.Apply(THttpConnectionState::Event::Closes);
        return;
    }
    AnswerError(state_.AwaitingRequest() ? "414 URI Too Long" : "431 Request Header Fields Too Large");
}

void THttpConnection::MapDocument()
{
    Document = !Path.empty() && Path.front() == '/' ? DocDir + Path : DocDir + "/" + Path;
    if (!Document.empty() && Document.back() == '/') Document += DefaultDoc;
    std::replace(Document.begin(), Document.end(), '/', '\\');
    Document = httpsrv::UrlDecode(Document);
}

void THttpConnection::ProcessRequest()
{
    // The table is cleared for the next request: its texts change places with the fields
    // instead of being copied, and both keep their room from request to request.
    HeaderContentType.swap(headers_.contentType);
    HeaderAccept.swap(headers_.accept);
    HeaderReferer.swap(headers_.referer);
    HeaderAcceptLanguage.swap(headers_.acceptLanguage);
    HeaderAcceptEncoding.swap(headers_.acceptEncoding);
    HeaderUserAgent.swap(headers_.userAgent);
    HeaderHost.swap(headers_.host);
    HeaderConnection.swap(headers_.connection);
    HeaderRange.swap(headers_.range);
    HeaderIfModifiedSince.swap(headers_.ifModifiedSince);
    reuse_ = WantsKeepAlive(RequestVersion, HeaderConnection) ? Reuse::KeepAlive : Reuse::ClientCloses;
    if (!HeaderHost.empty() && !ParseHostPort(HeaderHost)) {
        // A host that cannot be read ("[::1", a port of 99999) would end up in a redirect.
        AnswerError("400 Bad Request");
        return;
    }
    if (headers_.hasContentLength) {
        const auto length = ParseContentLength(headers_.contentLengthText);
        if (!length) {
            // A body whose end cannot be told: whatever follows could be taken for a request.
            AnswerError("400 Bad Request");
            return;
        }
        HeaderContentLength = *length;
    }
    if (!headers_.transferEncoding.empty()) {
        AnswerError("501 Not Implemented");
        return;
    }
    if (RequestMethod == "POST") bodyRemaining_ = HeaderContentLength;
    if (bodyRemaining_ > 0) SetLineMode(false);  // the body is bytes, not lines
    MapDocument();
    if (Document.find('\0') != std::string::npos) {
        // A name with a NUL in it names nothing on this host.
        CloseAfter404();
        return;
    }
    if (RequestMethod == "GET") ProcessGet();
    else if (RequestMethod == "POST") ProcessPost();
    else if (RequestMethod == "HEAD") ProcessHead();
    else CloseAfter404();
}

void THttpConnection::ReadBody()
{
    if (AcceptPostedData && OnPostedData) {
        const std::int64_t before = bodyRemaining_;
        TriggerPostedData(0);
        if (bodyRemaining_ != before) {
            NextRequest();
            return;
        }
    }
    // Nobody takes the body (or the handler left it): it is read and dropped.
    // At most 1 MiB per turn, so that one uploader does not hold up everyone else.
    char scratch[16384];
    for (int turn = 0; turn < 64 && bodyRemaining_ > 0; ++turn) {
        const int got = Receive(scratch, static_cast<int>(std::min<std::int64_t>(bodyRemaining_, sizeof scratch)));
        if (got <= 0) break;
    }
    NextRequest();
}

int THttpConnection::Receive(void* buffer, int len)
{
    if (bodyRemaining_ > 0) len = static_cast<int>(std::min<std::int64_t>(len, bodyRemaining_));
    const int got = TWSocketClient::Receive(buffer, len);
    if (got > 0 && bodyRemaining_ > 0) bodyRemaining_ -= got;
    return got;
}

std::string THttpConnection::ReceiveStr()
{
    if (bodyRemaining_ <= 0) return TWSocketClient::ReceiveStr();
    std::string data(static_cast<std::size_t>(std::min<std::int64_t>(bodyRemaining_, kStreamBlock)), '\0');
    const int got = Receive(data.data(), static_cast<int>(data.size()));
    data.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return data;
}

// ---- The request events ----

void THttpConnection::TriggerGetDocument(THttpGetFlag& flags)
{
    if (OnGetDocument) OnGetDocument(this, flags);
}
void THttpConnection::TriggerHeadDocument(THttpGetFlag& flags)
{
    if (OnHeadDocument) OnHeadDocument(this, flags);
}
void THttpConnection::TriggerPostDocument(THttpGetFlag& flags)
{
    if (OnPostDocument) OnPostDocument(this, flags);
}
void THttpConnection::TriggerPostedData(std::uint16_t error)
{
    if (OnPostedData) OnPostedData(this, error);
}

void THttpConnection::ProcessGet()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    THttpGetFlag flags = hgSendDoc;
    TriggerGetDocument(flags);
    AnswerGet(flags);
}

void THttpConnection::AnswerGet(THttpGetFlag flags)
{
    switch (flags) {
    case hgSendDoc:
        // A missing file and one that cannot be opened for reading get the same answer; the
        // file opened here is the one that is sent.
        if (!documentFile_.IsOpen() && !documentFile_.OpenReal(Document, FileStream::Mode::Read)) {
            CloseAfter404();
            return;
        }
        SendDocument(httpSendDoc);
        return;
    case hgSendStream: SendStream(); return;
    case hgWillSendMySelf: return;
    case hg404: CloseAfter404(); return;
    default: CloseAfterSending(); return;
    }
}

void THttpConnection::ProcessHead()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    THttpGetFlag flags = hgSendDoc;
    TriggerHeadDocument(flags);
    switch (flags) {
    case hgSendDoc:
        if (fs::RealFileExists(Document)) SendDocument(httpSendHead);
        else CloseAfter404();
        return;
    case hgSendStream: SendStream(); return;
    case hgWillSendMySelf: return;
    case hg404: CloseAfter404(); return;
    default: CloseAfterSending(); return;
    }
}

void THttpConnection::ProcessPost()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    THttpGetFlag flags = hg404;
    TriggerPostDocument(flags);
    if (flags == hg404) {
        CloseAfter404();
    } else if (flags == hgAcceptData) {
        AcceptPostedData = true;
    }
}

// ---- Answers ----

std::string THttpConnection::ResponseHeader(const std::string& status, const std::string& contentType,
                                            std::int64_t length, const std::string& extraHeaders) const
{
    std::string header;
    AppendHeaderStart(header, status, contentType, length);
    header.append(extraHeaders);
    AppendHeaderEnd(header);
    return header;
}

void THttpConnection::AppendHeaderStart(std::string& out, std::string_view status, std::string_view contentType,
                                        std::int64_t length) const
{
    out.append(StatusLineVersion(RequestVersion)).append(" ").append(status).append("\r\n");
    if (!contentType.empty()) out.append("Content-Type: ").append(contentType).append("\r\n");
    out.append("Content-Length: ");
    AppendNumber(out, length);
    out.append("\r\n");
}

void THttpConnection::AppendHeaderEnd(std::string& out) const
{
    out.append(KeepAlive() ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n");
}

void THttpConnection::SendWithoutDelay()
{
    // Answers go out as soon as they are written once a connection sends more than one write:
    // a body behind its header, or the next answer on a kept-alive connection, must not wait
    // for the browser's delayed acknowledgement of the write before. A whole answer in one
    // write, followed by the close, goes at once anyway and saves the system call.
    SetComponentOptions(ComponentOptions() | wsoTcpNoDelay);  // a system call only the first time
}

void THttpConnection::SendAnswer(const std::string& bytes, bool whole)
{
    // The whole answer of a connection that closes after it: its end and the FIN share a segment.
    if (whole && !KeepAlive()) SendLastStr(bytes);
    else SendStr(bytes);
}

std::string& THttpConnection::ReplyBuffer()
{
    // Answers are handed to the stack (or copied into the send queue) before the next one is
    // made, so one buffer per thread serves every connection without an allocation per answer.
    thread_local std::string reply;
    reply.clear();
    return reply;
}

void THttpConnection::Answer404()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    // The path is shown as text: a path with markup in it must not write into the page.
    const std::string body = "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD><BODY><H1>404 Not Found</H1>The "
                             "requested URL " +
                             HtmlEscape(Path) + " was not found on this server.<P></BODY></HTML>\r\n";
    EndAfterResponse();
    const std::string answer =
        ResponseHeader("404 Not Found", "text/html", static_cast<std::int64_t>(body.size()), std::string()) + body;
    if (State() == wsConnected) SendAnswer(answer, true);
}

void THttpConnection::CloseAfter404()
{
    Answer404();
    CloseAfterSending();
}

void THttpConnection::AnswerError(const std::string& status)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    EndAfterResponse();
    if (State() == wsConnected) SendAnswer(ResponseHeader(status, std::string(), 0, std::string()), true);
    CloseAfterSending();
}

bool THttpConnection::PrepareFileResponse(THttpSendType sendType, std::int64_t size, std::string& header)
{
    header.clear();
    if (!HeaderIfModifiedSince.empty() && DocumentTime != 0) {
        const auto since = ParseHttpDate(HeaderIfModifiedSince);
        if (since && DocumentTime <= *since) {
            header.append(StatusLineVersion(RequestVersion)).append(" 304 Not Modified\r\n");
            AppendFileHeaders(header, DocumentTime);
            AppendHeaderEnd(header);
            return false;
        }
    }
    std::string_view status = "200 OK";
    std::int64_t first = 0, length = size;
    TByteRange range;
    bool partial = false;
    if (!HeaderRange.empty()) {
        const TRangeAnswer answer = ResolveRange(HeaderRange, size, range);
        if (answer == TRangeAnswer::Unsatisfiable) {
            header = ResponseHeader("416 Range Not Satisfiable", std::string(), 0,
                                    "Content-Range: bytes */" + std::to_string(size) + "\r\n");
            return false;
        }
        if (answer == TRangeAnswer::Partial) {
            partial = true;
            status = "206 Partial Content";
            first = range.first;
            length = range.last - range.first + 1;
        }
    }
    AppendHeaderStart(header, status, DocumentContentType, length);
    AppendFileHeaders(header, DocumentTime);
    if (partial) {
        header.append("Content-Range: bytes ");
        AppendNumber(header, range.first);
        header.append("-");
        AppendNumber(header, range.last);
        header.append("/");
        AppendNumber(header, size);
        header.append("\r\n");
    }
    AppendHeaderEnd(header);
    if (sendType == httpSendHead) return false;
    sendOffset_ = first;
    sendRemaining_ = length;
    return true;
}

void THttpConnection::SendDocument(THttpSendType sendType)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    DocumentContentType = DocumentToContentType(Document);
    DocumentStream.reset();
    if (!documentFile_.IsOpen() && !documentFile_.OpenReal(Document, FileStream::Mode::Read)) {
        CloseAfter404();
        return;
    }
    std::int64_t size = 0;
    DocumentTime = 0;
    documentFile_.SizeAndTimeAtOpen(size, DocumentTime);
    std::string& header = ReplyBuffer();
    const bool body = PrepareFileResponse(sendType, size, header);
    if (body && sendRemaining_ <= kSmallBody) {
        // A small body goes with its header in one write: one segment, one system call.
        const std::size_t headerSize = header.size();
        header.resize(headerSize + static_cast<std::size_t>(sendRemaining_));
        const std::int64_t got =
            documentFile_.ReadAt(header.data() + headerSize, static_cast<std::size_t>(sendRemaining_), sendOffset_);
        if (got != sendRemaining_) EndAfterResponse();  // cut short meanwhile: the length was promised
        header.resize(headerSize + static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
        if (got > 0) {
            bodyBytesSent_ += got;
            BodyBytesRead(header.data() + headerSize, got, sendOffset_);
        }
        sendRemaining_ = 0;
    }
    const bool whole = !body || sendRemaining_ == 0;
    if (State() == wsConnected) SendAnswer(header, whole);
    if (whole) {
        documentFile_.Close();
        FinishBody();
        return;
    }
    StartBody();
}

void THttpConnection::SendStream()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    // A stream without a header has no length the client could see: the close ends it.
    EndAfterResponse();
    StartBody();
}

void THttpConnection::AnswerStream(const std::string& status, const std::string& contentType,
                                   const std::string& extraHeaders)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    std::int64_t length = 0;
    if (DocumentStream) {
        DocumentStream->clear();
        DocumentStream->seekg(0, std::ios::end);
        length = static_cast<std::int64_t>(DocumentStream->tellg());
        DocumentStream->seekg(0, std::ios::beg);
        if (length < 0) length = 0;
    }
    // A HEAD gets the header GET would have, and the body stays unsent.
    const bool headOnly = RequestMethod == "HEAD";
    if (State() == wsConnected)
        SendAnswer(ResponseHeader(status, contentType, length, extraHeaders), length == 0 || headOnly);
    if (headOnly) FinishBody();
    else StartBody();
}

void THttpConnection::StartBody()
{
    if (!DocumentStream && !documentFile_.IsOpen()) {
        CloseAfterSending();
        return;
    }
    SendWithoutDelay();
    BeginSendingBlocks();
    lastSendProgress_ = Clock::now();
    ConnectionDataSent();
}

void THttpConnection::TriggerDataSent(std::uint16_t error)
{
    TWSocketClient::TriggerDataSent(error);
    if (SendingBlocks()) {
        ConnectionDataSent();
    } else if (state_.Current() == THttpConnectionState::State::Closing && AllSent()) {
        StartDrain();
    }
}

void THttpConnection::TriggerSendData(int bytesSent)
{
    lastSendProgress_ = Clock::now();
    TWSocketClient::TriggerSendData(bytesSent);
}

bool THttpConnection::SendNextFileBlock()
{
    if (fileBlockPending_ > 0) {
        // The block has gone (DataSent): it counts what reached the stack; a file cut short
        // meanwhile ends the response, and the connection, since the length was promised.
        const long long sent = FileBytesSent();
        bodyBytesSent_ += sent;
        const bool cutShort = sent < fileBlockPending_;
        fileBlockPending_ = 0;
        if (cutShort) {
            EndAfterResponse();
            sendRemaining_ = 0;
            return false;
        }
    }
    const long long count = std::min<long long>(kFileBlock, sendRemaining_);
    if (count <= 0 || State() != wsConnected) return false;
    BodyBytesRead(nullptr, count, sendOffset_);
    if (SendFile(documentFile_.Handle(), sendOffset_, count) < 0) return false;
    fileBlockPending_ = count;
    sendOffset_ += count;
    sendRemaining_ -= count;
    return true;
}

bool THttpConnection::SendNextStreamBlock(std::istream& stream)
{
    if (DocumentBuffer.size() < static_cast<std::size_t>(kStreamBlock)) DocumentBuffer.resize(kStreamBlock);
    const std::streamoff at = stream.tellg();
    stream.read(DocumentBuffer.data(), kStreamBlock);
    const std::streamsize count = stream.gcount();
    if (count <= 0 || State() != wsConnected) return false;
    bodyBytesSent_ += count;
    BodyBytesRead(DocumentBuffer.data(), count, at < 0 ? 0 : at);
    Send(DocumentBuffer.data(), static_cast<int>(count));
    return true;
}

void THttpConnection::ConnectionDataSent()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!SendingBlocks()) return;
    const bool more =
        documentFile_.IsOpen() ? SendNextFileBlock() : DocumentStream && SendNextStreamBlock(*DocumentStream);
    if (!more) FinishBody();
}

void THttpConnection::FinishBody()
{
    state_.Apply(THttpConnectionState::Event::BodyEnded);
    fileBlockPending_ = 0;
    DocumentStream.reset();
    documentFile_.Close();
    BodyFinished();
    // The done step runs after the last block's data-sent event has returned.
    PostSelf([](TCustomWSocket* self) { static_cast<THttpConnection*>(self)->RequestDone(); });
}

void THttpConnection::RequestDone()
{
    if (!KeepAlive() || state_.Closing()) {
        CloseAfterSending();
        return;
    }
    SendWithoutDelay();
    state_.Apply(THttpConnectionState::Event::ResponseDone);
    requestStart_ = Clock::now();
    headerStarted_ = false;
    headerBytes_ = 0;
    NextRequest();
}

void THttpConnection::NextRequest()
{
    // What follows a body is read as lines again, whether or not its answer has gone.
    if (bodyRemaining_ == 0 && !state_.Draining() && !LineMode()) SetLineMode(true);
    if (state_.Responding() || bodyRemaining_ > 0 || State() != wsConnected) return;
    heldBytes_ = 0;
    while (!held_.empty() && !state_.Responding() && State() == wsConnected) {
        std::string line = std::move(held_.front());
        held_.pop_front();
        LineReceived(std::move(line));
    }
    // Lines of a request whose answer has started wait for the next turn.
    for (const std::string& line : held_) heldBytes_ += line.size();
}

// ---- Closing ----

void THttpConnection::EndAfterResponse()
{
    // A client that asked for the close keeps that answer: its close may then end the drain.
    if (reuse_ == Reuse::KeepAlive) reuse_ = Reuse::ServerCloses;
}

void THttpConnection::CloseAfterSending()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    EndAfterResponse();
    state_.Apply(THttpConnectionState::Event::Closes);
    held_.clear();
    heldBytes_ = 0;
    if (State() != wsConnected) return;
    if (AllSent()) StartDrain();
}

void THttpConnection::StartDrain()
{
    if (State() != wsConnected || !state_.Apply(THttpConnectionState::Event::DrainStarted)) return;
    drainStart_ = lastReceive_ = Clock::now();
    const bool clientDone = reuse_ == Reuse::ClientCloses && bodyRemaining_ == 0 && RcvdCnt() == 0;
    bodyRemaining_ = 0;
    SetLineMode(false);
    if (clientDone && NothingMoreArrived()) {
        // The client asked for the close and has sent nothing after its request: with no unread
        // input the close ends in a FIN behind the answer, never a reset, and the connection
        // need not wait for the client's own end.
        Close();
        return;
    }
    Shutdown(1);
    Drain();
}

bool THttpConnection::NothingMoreArrived()
{
    char probe[512];
    const int got = TWSocketClient::Receive(probe, sizeof probe);
    if (got == 0) return true;  // the client has closed already
    return got < 0 && LastError() == WSAEWOULDBLOCK;
}

void THttpConnection::Drain()
{
    char scratch[16384];
    for (int i = 0; i < 64; ++i) {
        const int got = TWSocketClient::Receive(scratch, sizeof scratch);
        if (got == 0) {
            // The client has closed its side too: the orderly close is complete, and the
            // connection ends now rather than on a later readiness.
            Close();
            return;
        }
        if (got < 0) break;
    }
}

void THttpConnection::TriggerSessionClosed(std::uint16_t error)
{
    if (closeError_ == 0) closeError_ = error;
    state_.Apply(THttpConnectionState::Event::BodyEnded);
    DocumentStream.reset();
    documentFile_.Close();
    TWSocketClient::TriggerSessionClosed(error);
}

void THttpConnection::CheckTimeouts(Clock::time_point now)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (State() != wsConnected) return;
    if (state_.Draining()) {
        if (now - lastReceive_ > Limits.drainTimeout || now - drainStart_ > 15 * Limits.drainTimeout) Close();
        return;
    }
    if (state_.Closing() || state_.SendingBody()) {
        if (now - lastSendProgress_ > Limits.sendStallTimeout) Abort();
        return;
    }
    if (bodyRemaining_ > 0) {
        if (now - lastReceive_ > Limits.headerTimeout) Close();
        return;
    }
    if (state_.Responding()) return;  // the owner answers
    // Between kept-alive requests the shorter idle limit holds until the next request begins;
    // a request header, from the connection's start or the end of the last answer, must be whole
    // within the header limit.
    const bool keptAliveIdle = state_.Current() == THttpConnectionState::State::AwaitingNext && RcvdCnt() == 0;
    const auto limit = keptAliveIdle ? Limits.keepAliveTimeout : Limits.headerTimeout;
    if (now - requestStart_ > limit) {
        Close();
        return;
    }
    if (headerStarted_ && HeaderTooSlow(headerBytes_ + static_cast<std::size_t>(std::max(0, RcvdCnt())),
                                        now - headerStart_, Limits.minHeaderRate))
        Close();
}

}  // namespace corvane
