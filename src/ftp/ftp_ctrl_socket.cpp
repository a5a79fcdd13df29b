#include "ftp/ftp_ctrl_socket.h"

#include "ftp/ftp_paths.h"
#include "platform/socket_oob_inline.h"

#include <cstring>

namespace corvane {
namespace {

constexpr char kOverflowLine[] = "OVER";

}  // namespace

TFtpCtrlSocket::TFtpCtrlSocket()
    : dataWSocket_(std::make_unique<TWSocket>())
{
    dataWSocket_->SetName("DataWSocket");
}

TFtpCtrlSocket::~TFtpCtrlSocket() { *alive_ = false; }

void TFtpCtrlSocket::SetRcvSize(int size)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (rcvCnt_ > 0) throw EFtpCtrlSocketException("Data in buffer, can't change size");
    if (size < 0) size = 0;
    if (size == rcvSize_) return;
    rcvSize_ = size;
    rcvBuf_.reset();  // the next use allocates the new size
}

char* TFtpCtrlSocket::RcvBuf()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    // Not zeroed: only the bytes received are ever read.
    if (!rcvBuf_) rcvBuf_ = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(rcvSize_) + 1);
    return rcvBuf_.get();
}

void TFtpCtrlSocket::SetDirectory(const std::string& path)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    directory_ = ResolveDirectory(directory_, path, (options_ & ftpcUNC) != 0);
}

void TFtpCtrlSocket::SetAbortingTransfer(bool value) { abortingTransfer_ = value; }

void TFtpCtrlSocket::SetEngineStream(TFtpStream stream)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    transfer_.Stream = std::move(stream);
    transfer_.StreamOwner = TFtpStreamOwner::Engine;
}

void TFtpCtrlSocket::DropEngineStream()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (transfer_.StreamOwner == TFtpStreamOwner::Engine) transfer_.Stream.reset();
    transfer_.StreamOwner = TFtpStreamOwner::Owner;
}

void TFtpCtrlSocket::CapturePeer()
{
    peerAddr_ = TCustomWSocket::GetPeerAddr();
    peerPort_ = TCustomWSocket::GetPeerPort();
}

void TFtpCtrlSocket::Dup(int handle)
{
    TCustomWSocket::Dup(handle);
    // A command sent as urgent data (ABOR, by many clients) must reach the line reader whole.
    if (HSocket() >= 0) sockapi::SetOobInline(HSocket(), true);
    CapturePeer();
}

void TFtpCtrlSocket::TriggerSessionConnected(std::uint16_t error)
{
    if (error == 0) CapturePeer();
    TCustomWSocket::TriggerSessionConnected(error);
}

void TFtpCtrlSocket::StartConnection()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    connectedAt_ = std::chrono::system_clock::now();
    commandCount_ = 0;
    ftpState_ = ftpcWaitingUserCode;
    SendStr(banner_ + "\r\n");
}

void TFtpCtrlSocket::SendAnswer(const std::string& answer) { SendStr(answer + "\r\n"); }

void TFtpCtrlSocket::HandleReadNotification(std::uint16_t error, bool /*forceLoop*/)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    // One read per readiness: the loop is level-triggered, so what stays readable comes back.
    Guarded([&] { TriggerDataAvailable(error); });
}

void TFtpCtrlSocket::TriggerDataAvailable(std::uint16_t /*error*/)
{
    // One byte of the buffer always stays free, as room for a terminating zero.
    const int room = rcvSize_ - rcvCnt_ - 1;
    if (room > 0) {
        const int received = Receive(RcvBuf() + rcvCnt_, room);
        if (received <= 0) return;
        rcvCnt_ += received;
    } else if (GetRcvdCount() <= 0) {
        return;  // a buffer too small for any line: only data waiting makes it overflow
    }
    DeliverLines();
}

void TFtpCtrlSocket::DeliverLines()
{
    const std::shared_ptr<bool> alive = alive_;
    int start = 0;
    while (start < rcvCnt_ || rcvCnt_ == 0) {
        char* const buf = RcvBuf();
        const void* found = std::memchr(buf + start, '\n', static_cast<std::size_t>(rcvCnt_ - start));
        if (found == nullptr) {
            if (start == 0 && rcvCnt_ >= rcvSize_ - 1) {
                // A full buffer without a line feed: what it holds cannot become a command.
                rcvCnt_ = 0;
                rcvBuf_.reset();
                lastCommandAt_ = std::chrono::system_clock::now();
                ++commandCount_;
                TriggerCommand(kOverflowLine, static_cast<int>(sizeof kOverflowLine - 1));
                return;
            }
            break;
        }
        const int lineFeed = static_cast<int>(static_cast<const char*>(found) - buf);
        int length = lineFeed - start;
        // The carriage return before the line feed belongs to the line end, also on an empty
        // line: a client's bare CR LF is the empty line, and a reply quoting it must not carry a
        // lone CR (which would break the reply's own line structure).
        if (length > 0 && buf[lineFeed - 1] == '\r') --length;
        // A copy: the text handed on stays valid whatever the handler does to the buffer.
        const std::string line(buf + start, static_cast<std::size_t>(length));
        start = lineFeed + 1;
        lastCommandAt_ = std::chrono::system_clock::now();
        ++commandCount_;
        TriggerCommand(line.data(), static_cast<int>(line.size()));
        if (!*alive) return;  // a handler destroyed this connection
        if (commandsHeld_) break;
        if (HSocket() >= 0 && SecureHandshaking()) {
            // Anything after AUTH was sent before its reply came and in the clear: it is no
            // part of the handshake and no command. A client that does not wait is dropped.
            const bool early = start < rcvCnt_;
            rcvCnt_ = 0;
            rcvBuf_.reset();
            if (early) Abort();
            return;
        }
        if (HSocket() < 0) {
            rcvCnt_ = 0;  // closed by a handler: nothing more will be answered
            rcvBuf_.reset();
            return;
        }
    }
    // Keep only the partial line that follows the last line feed.
    const int rest = rcvCnt_ - start;
    if (rest > 0 && start > 0) std::memmove(RcvBuf(), RcvBuf() + start, static_cast<std::size_t>(rest));
    rcvCnt_ = rest;
    // An idle connection holds no buffer; the next command line allocates it again.
    if (rcvCnt_ == 0) rcvBuf_.reset();
}

void TFtpCtrlSocket::HoldCommands()
{
    commandsHeld_ = true;
    Pause();
}

void TFtpCtrlSocket::ReleaseCommands()
{
    if (!commandsHeld_) return;
    commandsHeld_ = false;
    Resume();
    if (rcvCnt_ > 0) DeliverLines();
}

void TFtpCtrlSocket::TriggerCommand(const char* cmdBuf, int cmdLen)
{
    if (OnCommand) OnCommand(this, cmdBuf, cmdLen);
}

}  // namespace corvane
