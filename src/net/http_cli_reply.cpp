// THttpCli: the reply (status line, header fields, body) and redirections.
#include <algorithm>
#include <cctype>

#include "common/text_case.h"
#include "common/text_trim.h"
#include "net/http_cli.h"

namespace corvane {
namespace {

// A Content-Length value: decimal digits only, else none (-1).
long long ContentLengthOf(const std::string& value)
{
    const std::string text = TrimWhitespace(value);
    if (text.empty() || text.size() > 18) return -1;
    long long length = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
        length = length * 10 + (c - '0');
    }
    return length;
}

bool StartsWithHtml(const std::string& line)
{
    return line.size() >= 6 && EqualsIgnoreCase(line.substr(0, 6), "<html>");
}

// A reply to HEAD, and 1xx, 204 and 304 replies, never have a body.
bool HasNoBody(THttpRequest request, int status)
{
    return request == httpHEAD || (status >= 100 && status < 200) || status == 204 || status == 304;
}

}  // namespace

void THttpCli::SocketDataAvailable(std::uint16_t)
{
    if (finishing_ || relocating_ || (state_ != httpWaitingHeader && state_ != httpWaitingBody)) {
        char discard[kReceiveBufferSize];
        socket_->Receive(discard, sizeof discard);
        return;
    }
    if (state_ == httpWaitingBody) ReceiveBodyBytes();
    else ReceiveHeaderBytes();
}

void THttpCli::ReceiveHeaderBytes()
{
    if (rcvBuf_.size() >= static_cast<std::size_t>(kReceiveBufferSize)) {
        // Raised here, taken by the socket's background handling, which aborts the connection;
        // the close then ends the request with this failure.
        lineTooLong_ = true;
        throw EHttpException("HTTP line too long", 4);
    }
    char fresh[kReceiveBufferSize];
    const int count = socket_->Receive(fresh, kReceiveBufferSize - static_cast<int>(rcvBuf_.size()));
    if (count <= 0) return;
    rcvBuf_.append(fresh, static_cast<std::size_t>(count));
    ParseBufferedLines();
}

void THttpCli::ReceiveBodyBytes()
{
    // The body needs no line buffer: it is read in blocks of its own size, so a large document
    // costs a read per 64 KB rather than per 8 KB.
    char fresh[kBodyBlockSize];
    const int count = socket_->Receive(fresh, sizeof fresh);
    if (count > 0) DeliverBody(fresh, static_cast<std::size_t>(count));
}

bool THttpCli::ParseBufferedLines()
{
    const unsigned serial = serial_;
    while (state_ == httpWaitingHeader && !finishing_ && !relocating_) {
        const std::size_t end = rcvBuf_.find('\n');
        if (end == std::string::npos) return false;
        std::string raw = rcvBuf_.substr(0, end + 1);
        rcvBuf_.erase(0, end + 1);
        std::string line = raw.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        HeaderLine(line, raw.data(), raw.size());
        if (serial != serial_) return true;  // aborted, or a new request from a handler
    }
    return true;
}

void THttpCli::HeaderLine(const std::string& line, const char* raw, std::size_t rawLength)
{
    if (StartsWithHtml(line)) {
        // No header at all: the document starts at once.
        if (contentType_.empty()) contentType_ = "text/html";
        const unsigned serial = serial_;
        if (!SetState(httpWaitingBody)) return;
        if (OnHeaderEnd) OnHeaderEnd(this);
        if (serial != serial_) return;
        std::string body(raw, rawLength);
        body += rcvBuf_;
        rcvBuf_.clear();
        DeliverBody(body.data(), body.size());
        return;
    }
    if (line.empty()) {
        HeaderEnded();
        return;
    }
    if (rcvdHeader_.empty()) {
        EndBodyBeforeReply();
        if (OnHeaderBegin) OnHeaderBegin(this);
    }
    rcvdHeader_.push_back(line);
    if (line.rfind("HTTP/1.0", 0) == 0 || line.rfind("HTTP/1.1", 0) == 0) {
        const std::string code = line.size() >= 12 ? line.substr(9, 3) : std::string();
        const bool numeric = code.size() == 3 && std::isdigit(static_cast<unsigned char>(code[0])) &&
                             std::isdigit(static_cast<unsigned char>(code[1])) &&
                             std::isdigit(static_cast<unsigned char>(code[2]));
        statusSeen_ = numeric;
        statusCode_ = numeric ? std::stoi(code) : 0;
        reasonPhrase_ = line.size() > 13 ? line.substr(13) : std::string();
    } else {
        HeaderField(line);
    }
    if (OnHeaderData) OnHeaderData(this);
}

void THttpCli::HeaderField(const std::string& line)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) return;
    const std::string name = FoldCase(TrimWhitespace(line.substr(0, colon)));
    std::size_t start = colon + 1;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
    const std::string value = line.substr(start);
    if (name == "location") {
        location_ = TrimWhitespace(value);
    } else if (name == "content-length") {
        contentLength_ = ContentLengthOf(value);
    } else if (name == "content-range") {
        const std::size_t from = value.find("bytes ");
        const std::size_t dash = value.find('-');
        const std::size_t slash = value.find('/');
        if (from != std::string::npos && dash != std::string::npos && dash > from) {
            ContentRangeBegin = value.substr(from + 6, dash - from - 6);
            ContentRangeEnd = value.substr(dash + 1, slash == std::string::npos ? std::string::npos : slash - dash - 1);
        }
    } else if (name == "accept-ranges") {
        AcceptRanges = value;
    } else if (name == "content-type") {
        contentType_ = FoldCase(value);
    } else if (name == "www-authenticate") {
        challenges_.push_back(value);
    } else if (name == "set-cookie") {
        bool accept = true;
        if (OnCookie) OnCookie(this, value, accept);
    }
}

void THttpCli::HeaderEnded()
{
    if (!statusSeen_) {
        if (OnHeaderEnd) OnHeaderEnd(this);
        FailRequest(0, "the reply has no status line");
        return;
    }
    if (!location_.empty()) {
        StartRelocation();
        return;
    }
    if (contentLength_ == 0 || HasNoBody(request_, statusCode_)) {
        if (OnHeaderEnd) OnHeaderEnd(this);
        Finish();
        return;
    }
    if (!SetState(httpWaitingBody)) return;
    const std::size_t dot = docName_.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : FoldCase(docName_.substr(dot));
    if (contentType_ == "text/html" && (extension.empty() || extension == ".exe"))
        docName_ = (dot == std::string::npos ? docName_ : docName_.substr(0, dot)) + ".htm";
    const unsigned serial = serial_;
    if (OnHeaderEnd) OnHeaderEnd(this);
    if (serial != serial_) return;
    // A failing status keeps its body too: it goes to ReplyStream like any other.
    if (!rcvBuf_.empty()) {
        std::string rest;
        rest.swap(rcvBuf_);
        DeliverBody(rest.data(), rest.size());
    }
}

bool THttpCli::BodyComplete() const { return contentLength_ >= 0 && rcvdCount_ >= contentLength_; }

void THttpCli::DeliverBody(const char* data, std::size_t len)
{
    // Bytes past the announced length are not the document's.
    if (contentLength_ >= 0)
        len = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(len), contentLength_ - rcvdCount_));
    const unsigned serial = serial_;
    if (len > 0) {
        if (!bodyStarted_) {
            bodyStarted_ = true;
            if (OnDocBegin) OnDocBegin(this);
            if (serial != serial_) return;
        }
        if (ReplyStream != nullptr) ReplyStream->write(data, static_cast<std::streamsize>(len));
        rcvdCount_ += static_cast<long long>(len);
        if (OnDocData) OnDocData(this, data, static_cast<int>(len));
        if (serial != serial_) return;
    }
    if (BodyComplete() && !finishing_) {
        if (bodyStarted_ && OnDocEnd) OnDocEnd(this);
        Finish();
    }
}

// ---- redirections ------------------------------------------------------------------------------

void THttpCli::StartRelocation()
{
    if (++redirections_ > kMaxRedirections) {
        FailRequest(0, "too many redirections (more than " + std::to_string(kMaxRedirections) + ")");
        return;
    }
    std::string scheme;
    if (!ResolveLocation(target_, location_, pendingTarget_, scheme)) {
        FailRequest(0, "can't follow a redirection to the scheme \"" + scheme + "\"");
        return;
    }
    if (pendingTarget_.host.empty()) {
        FailRequest(0, "can't follow a redirection without a host");
        return;
    }
    relocating_ = true;
    // The new request starts once this connection is closed.
    socket_->Close();
    if (relocating_ && socket_->State() == wsClosed) Relocate();
}

void THttpCli::Relocate()
{
    relocating_ = false;
    target_ = pendingTarget_;
    URL = AbsoluteUrl(target_);
    docName_ = DocumentNameOf(target_.path);
    if (request_ == httpPOST) request_ = httpGET;
    sendingBody_ = false;
    const unsigned serial = serial_;
    if (OnLocationChange) OnLocationChange(this);
    if (serial != serial_) return;
    ClearHeaderResults();
    rcvdCount_ = 0;
    PostForRequest([this] { Login(); });
}

}  // namespace corvane
