// THttpConnection: one browser connection of the web server. It reads requests in line mode
// (LineEnd "\n"), maps each request path onto a local document, asks its owner through the
// request events what to answer, and sends a file, a stream or the 404 page.
//
// Requests are answered one at a time and in order: lines that arrive while a response is still
// going out (pipelined requests) are held and read once it has gone. A connection is kept for
// the next request when the client asked for it (HTTP/1.1 without "Connection: close", HTTP/1.0
// with "Connection: keep-alive"); otherwise the response is followed by an orderly close: the
// sending direction is shut down after the last byte, and what the client still sends is read
// and dropped until it closes too, so that no reset overtakes the response.
//
// Owner thread: the thread of its THttpServer; everything here runs there.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/thread_owner.h"
#include "http/http_connection_state.h"
#include "http/http_request.h"
#include "http/http_types.h"
#include "net/wsocket_server.h"
#include "platform/file_stream.h"

namespace corvane {

// Limits against clients that send too much or too little; the server sets them on each
// connection.
struct THttpLimits {
    int lineLimit = 16384;                              // a request or header line longer than this is refused
    int maxHeaders = 100;                               // more header lines than this are refused
    std::chrono::milliseconds headerTimeout{30000};     // a whole request header within this
    std::chrono::milliseconds keepAliveTimeout{15000};  // idle between kept-alive requests
    std::chrono::milliseconds sendStallTimeout{60000};  // a response that makes no progress
    std::chrono::milliseconds drainTimeout{2000};       // reading what follows a closing answer
    std::size_t heldLimit = 1 << 20;                    // pipelined request bytes held
    int minHeaderRate = 0;                              // bytes a second a header must keep up (0: none)
};

class THttpConnection : public TWSocketClient {
public:
    using TDocumentEvent = std::function<void(THttpConnection* sender, THttpGetFlag& flags)>;
    using TPostedDataEvent = std::function<void(THttpConnection* sender, std::uint16_t error)>;
    using Clock = std::chrono::steady_clock;

    // A file goes to the socket in blocks of this size, straight from the file; an in-memory
    // stream in blocks of the smaller size, copied.
    static constexpr long long kFileBlock = 2 * 1024 * 1024;
    static constexpr int kStreamBlock = 64 * 1024;
    // A file body up to this size goes out with its header in one write.
    static constexpr std::int64_t kSmallBody = 64 * 1024;

    THttpConnection();
    // Nothing is being answered: the connection waits for (the rest of) a request header.
    bool WaitingForHeader() const
    {
        return state_.AwaitingRequest() || state_.Current() == THttpConnectionState::State::ReadingHeader;
    }
    ~THttpConnection() override;

    // ---- Published fields ----
    std::string DocDir, DefaultDoc;
    std::string Document, Path, Params;
    std::string RequestMethod, RequestVersion;
    std::int64_t HeaderContentLength = 0;
    std::string HeaderContentType, HeaderAccept, HeaderReferer, HeaderAcceptLanguage, HeaderAcceptEncoding,
        HeaderUserAgent, HeaderHost, HeaderConnection, HeaderRange, HeaderIfModifiedSince;
    bool AcceptPostedData = false;
    // The stream being sent, owned by the connection.
    std::shared_ptr<std::iostream> DocumentStream;
    std::vector<char> DocumentBuffer;
    std::time_t DocumentTime = 0;
    std::string DocumentContentType;
    THttpLimits Limits;

    TDocumentEvent OnGetDocument, OnHeadDocument, OnPostDocument;
    TPostedDataEvent OnPostedData;

    // The connection's number, given by the maker of the connection (the server's ClientClass)
    // and never reused by it; the server finds its connections by it (THttpServer::ClientByNumber).
    long long Number() const { return number_; }
    void SetNumber(long long number) { number_ = number; }

    // ---- Operations ----
    // The owner opened Document already (for reading): that file is the one sent.
    void UseDocumentFile(FileStream file) { documentFile_ = std::move(file); }
    virtual void ProcessGet();
    virtual void ProcessHead();
    virtual void ProcessPost();
    virtual void SendDocument(THttpSendType sendType);
    // Sends DocumentStream as it is (no status line, no header) and closes after it.
    virtual void SendStream();
    // Sends DocumentStream from its start as a whole response: the status line (for example
    // "200 OK"), Content-Type, Content-Length, the extra header lines (each ending in CR LF),
    // Connection, then the body (none for a HEAD).
    void AnswerStream(const std::string& status, const std::string& contentType,
                      const std::string& extraHeaders = std::string());
    // Sends the next block of the response body, or finishes the response.
    virtual void ConnectionDataSent();
    void Answer404();
    // A header-only answer ("400 Bad Request", ...) followed by the orderly close.
    void AnswerError(const std::string& status);
    // What is queued goes, then the orderly close described above.
    void CloseAfterSending();

    // The local address the connection was accepted on, asked of the stack once.
    const std::string& LocalAddress();
    // The version for status lines: the request's when it is HTTP/1.x, else HTTP/1.0.
    std::string ResponseVersion() const;
    bool KeepAlive() const { return reuse_ == Reuse::KeepAlive; }
    bool Responding() const { return state_.Responding(); }
    THttpConnectionState::State Phase() const { return state_.Current(); }
    // Bytes of response bodies handed to the stack on this connection, all requests together.
    std::int64_t BodyBytesSent() const { return bodyBytesSent_; }
    // The error the connection ended with (0 for an orderly end).
    std::uint16_t CloseError() const { return closeError_; }
    // Closes the connection when one of the time limits has passed; the server calls it
    // every second.
    void CheckTimeouts(Clock::time_point now);
    // While a request body is being read, these hand out no byte beyond it.
    int Receive(void* buffer, int len) override;
    std::string ReceiveStr() override;

protected:
    virtual void TriggerGetDocument(THttpGetFlag& flags);
    virtual void TriggerHeadDocument(THttpGetFlag& flags);
    virtual void TriggerPostDocument(THttpGetFlag& flags);
    virtual void TriggerPostedData(std::uint16_t error);
    void TriggerDataSent(std::uint16_t error) override;
    void TriggerSendData(int bytesSent) override;
    void TriggerSessionClosed(std::uint16_t error) override;
    void TriggerLineLimitExceeded(int rcvdLength, bool& clearData) override;
    void HandleReadNotification(std::uint16_t error, bool forceLoop) override;

    // The status line and header of a response whose body has `length` bytes, with the
    // Connection line and the blank line that ends it.
    std::string ResponseHeader(const std::string& status, const std::string& contentType, std::int64_t length,
                               const std::string& extraHeaders) const;
    // The status line, Content-Type (when there is one) and Content-Length of a response; then
    // its Connection line and the blank line that ends the header.
    void AppendHeaderStart(std::string& out, std::string_view status, std::string_view contentType,
                           std::int64_t length) const;
    void AppendHeaderEnd(std::string& out) const;
    // An empty buffer for an answer's header and small body, reused from answer to answer.
    static std::string& ReplyBuffer();
    // Turns the send delay off, once, before a connection's second write.
    void SendWithoutDelay();
    // Sends an answer's bytes; `whole`: nothing of this answer follows them.
    void SendAnswer(const std::string& bytes, bool whole);
    // Works out the answer for a document of `size` bytes from what the request asked of it
    // (range, condition): its header goes into `header`, and sendOffset_/sendRemaining_ name the
    // body. False when no body follows (HEAD, 304, 416).
    bool PrepareFileResponse(THttpSendType sendType, std::int64_t size, std::string& header);
    // What ProcessGet does with the owner's answer to a GET.
    void AnswerGet(THttpGetFlag flags);
    // Called each time body bytes are read for sending: `bytes` holds them (null when they go
    // from the file to the socket without passing through memory), `offset` is where they start
    // in the document or stream.
    virtual void BodyBytesRead(const char* /*bytes*/, std::int64_t /*count*/, std::int64_t /*offset*/) {}
    // The body of the response has been read to its end, or has ended early; the connection
    // may still be sending its last bytes.
    virtual void BodyFinished() {}
    // Starts the body of the response: ConnectionDataSent sends block after block.
    void StartBody();
    // From here on each data-sent event sends the next block (ConnectionDataSent).
    void BeginSendingBlocks() { state_.Apply(THttpConnectionState::Event::BodyStarted); }
    bool SendingBlocks() const { return state_.SendingBody(); }
    // This response is the connection's last: it says so in its header, and the connection
    // closes after it.
    void EndAfterResponse();
    // The body has gone: the request is done (after the events already queued).
    void FinishBody();
    // Sends the next block of the open file; false at its end.
    bool SendNextFileBlock();
    // Reads the next block of a stream into DocumentBuffer and sends it; false at its end.
    bool SendNextStreamBlock(std::istream& stream);

    FileStream documentFile_;
    std::int64_t sendOffset_ = 0;     // next byte of the file to send
    std::int64_t sendRemaining_ = 0;  // bytes of the body still to send (files)
    long long fileBlockPending_ = 0;  // bytes of the file block handed to the socket
    std::int64_t bodyBytesSent_ = 0;

private:
    void DataAvailable();
    void LineReceived(std::string line);
    void StartRequest(const std::string& line);
    void HeaderLine(const std::string& line);
    void ProcessRequest();
    void MapDocument();
    void ReadBody();
    void Drain();
    void StartDrain();
    bool NothingMoreArrived();
    void RequestDone();
    void NextRequest();
    void Hold(std::string line);
    void CloseAfter404();
    // A plain connection whose first bytes are a TLS handshake (a client that took the port
    // for the HTTPS one) is answered 400 and closed, instead of waiting for a line end that
    // may never come.
    bool RefusedTlsHello();

    ThreadOwner owner_;  // the thread of its THttpServer, which makes it
    long long number_ = 0;

    THttpRequestHeaders headers_;
    std::string localAddress_;
    int headerCount_ = 0;
    THttpConnectionState state_;
    // Whether the connection outlives the current response: the client asked to keep it, the
    // client asked for the close (HTTP/1.0, "Connection: close"), or this side ends it.
    enum class Reuse { ServerCloses, KeepAlive, ClientCloses };
    Reuse reuse_ = Reuse::ServerCloses;
    bool firstBytesChecked_ = false;
    std::int64_t bodyRemaining_ = 0;
    std::deque<std::string> held_;
    std::size_t heldBytes_ = 0;
    std::uint16_t closeError_ = 0;
    Clock::time_point requestStart_ = Clock::now();
    // The pace of the header being read: when its first byte came, and its whole lines' bytes.
    bool headerStarted_ = false;
    Clock::time_point headerStart_{};
    std::size_t headerBytes_ = 0;
    Clock::time_point lastReceive_ = requestStart_;
    Clock::time_point lastSendProgress_ = requestStart_;
    Clock::time_point drainStart_ = requestStart_;
};

}  // namespace corvane
