#include "net/line_wsocket.h"

#include <algorithm>
#include <cstring>

namespace corvane {

void TCustomLineWSocket::AssignDefaultValue() { TCustomSocksWSocket::AssignDefaultValue(); }

void TCustomLineWSocket::ReadingResumed()
{
    // After the calling handler, as any delivery of held data.
    if (!rcvBuf_.empty())
        PostSelf([](TCustomWSocket* self) { static_cast<TCustomLineWSocket*>(self)->DeliverHeldData(); });
}

void TCustomLineWSocket::SetLineMode(bool on)
{
    if (lineMode_ == on) return;
    lineMode_ = on;
    lineLength_ = 0;
    if (rcvBuf_.empty()) return;
    // Held data is examined again under the new mode, after the current handler returns.
    PostSelf([](TCustomWSocket* self) { static_cast<TCustomLineWSocket*>(self)->DeliverHeldData(); });
}

void TCustomLineWSocket::DeliverHeldData()
{
    if (rcvBuf_.empty()) return;
    if (LineModeActive()) {
        DeliverLines(0, 0);
        CheckLineLimit();
    } else {
        TriggerDataAvailable(0);
    }
}

int TCustomLineWSocket::GetRcvdCount()
{
    if (LineModeActive()) return lineLength_;
    if (!rcvBuf_.empty()) return static_cast<int>(rcvBuf_.size());
    return TCustomSocksWSocket::GetRcvdCount();
}

int TCustomLineWSocket::Receive(void* buffer, int len)
{
    if (len <= 0) return 0;
    if (LineModeActive() && lineLength_ > 0) {
        const int count = std::min(len, lineLength_);
        std::memcpy(buffer, rcvBuf_.data(), static_cast<std::size_t>(count));
        rcvBuf_.erase(0, static_cast<std::size_t>(count));
        lineLength_ -= count;
        return count;
    }
    if (!rcvBuf_.empty()) {
        const int count = std::min(len, static_cast<int>(rcvBuf_.size()));
        std::memcpy(buffer, rcvBuf_.data(), static_cast<std::size_t>(count));
        rcvBuf_.erase(0, static_cast<std::size_t>(count));
        return count;
    }
    return TCustomSocksWSocket::Receive(buffer, len);
}

std::string TCustomLineWSocket::ReceiveStr()
{
    if (LineModeActive() && lineLength_ > 0) {
        std::string line(static_cast<std::size_t>(lineLength_), '\0');
        line.resize(static_cast<std::size_t>(Receive(line.data(), lineLength_)));
        return line;
    }
    if (!rcvBuf_.empty()) {
        std::string held;
        held.swap(rcvBuf_);
        return held;
    }
    return TCustomSocksWSocket::ReceiveStr();
}

void TCustomLineWSocket::HandleReadNotification(std::uint16_t error, bool forceLoop)
{
    if (!LineModeActive() || Negotiating()) {
        TCustomSocksWSocket::HandleReadNotification(error, forceLoop);
        return;
    }
    // A readiness collected before the hold began: the stack keeps the bytes meanwhile.
    if (ReadingHeldForSending()) return;
    const std::size_t before = rcvBuf_.size();
    ReadIntoBuffer();
    if (rcvBuf_.size() == before) return;
    const std::size_t searchFrom = before > lineEnd_.size() ? before - lineEnd_.size() : 0;
    Guarded([&] { DeliverLines(searchFrom, error); });
    CheckLineLimit();
}

void TCustomLineWSocket::ReadIntoBuffer()
{
    // One read of up to a block, without first asking the stack how much it holds (a system
    // call per request saved). What it holds beyond the block is read on the next readiness,
    // after the lines of this one: a peer that sends megabytes of requests at once cannot make
    // them all wait here.
    thread_local char block[kLineReadBlock];
    const int count = DoRecv(block, kLineReadBlock, false);
    if (count <= 0) return;
    AddReadCount(count);
    if (!lineEdit_ && !lineEcho_) rcvBuf_.append(block, static_cast<std::size_t>(count));
    else rcvBuf_ += EditLine(std::string(block, static_cast<std::size_t>(count)));
}

std::string TCustomLineWSocket::EditLine(const std::string& received)
{
    if (!lineEdit_) {
        if (lineEcho_ && State() == wsConnected) SendStr(received);
        return received;
    }
    std::string kept, echo;
    for (char c : received) {
        if (c == '\b') {
            if (!kept.empty()) {
                kept.pop_back();
                echo += "\b \b";
            } else if (!rcvBuf_.empty()) {
                rcvBuf_.pop_back();
                echo += "\b \b";
            }
        } else if (c == '\t') {
            const std::size_t column = rcvBuf_.size() + kept.size();
            const std::size_t spaces = 8 - column % 8;
            kept.append(spaces, ' ');
            echo.append(spaces, ' ');
        } else {
            kept += c;
            echo += c;
        }
    }
    if (lineEcho_ && !echo.empty() && State() == wsConnected) SendStr(echo);
    return kept;
}

void TCustomLineWSocket::DeliverLines(std::size_t searchFrom, std::uint16_t error)
{
    while (LineModeActive()) {
        // Answers wait unsent: the next lines wait too, until the sending resumes reading.
        if (ReadingHeldForSending()) return;
        const std::size_t end = rcvBuf_.find(lineEnd_, searchFrom);
        if (end == std::string::npos) return;
        const int length = static_cast<int>(end + lineEnd_.size());
        lineLength_ = length;
        lineReceived_ = true;
        while (LineModeActive() && lineLength_ > 0) {
            const int before = lineLength_;
            TriggerDataAvailable(error);
            if (lineLength_ == before) break;  // nothing read: the line is dropped below
        }
        if (lineLength_ > 0 && LineModeActive()) {
            rcvBuf_.erase(0, static_cast<std::size_t>(lineLength_));
        }
        if (!LineModeActive()) return;  // the rest stays held for the new mode
        lineLength_ = 0;
        searchFrom = 0;
    }
}

void TCustomLineWSocket::CheckLineLimit()
{
    // Lines kept for a held reading are complete lines, not one that is too long.
    if (ReadingHeldForSending()) return;
    if (!LineModeActive() || lineLimit_ <= 0 || static_cast<int>(rcvBuf_.size()) <= lineLimit_) return;
    bool clearData = true;
    TriggerLineLimitExceeded(static_cast<int>(rcvBuf_.size()), clearData);
    lineClearData_ = clearData;
    if (clearData) rcvBuf_.clear();
}

void TCustomLineWSocket::TriggerLineLimitExceeded(int rcvdLength, bool& clearData)
{
    if (OnLineLimitExceeded) OnLineLimitExceeded(this, rcvdLength, clearData);
}

void TCustomLineWSocket::TriggerSessionClosed(std::uint16_t error)
{
    if (LineModeActive() && !rcvBuf_.empty()) {
        // The unfinished last line is still a line for the reader.
        lineLength_ = static_cast<int>(rcvBuf_.size());
        lineReceived_ = true;
        while (LineModeActive() && lineLength_ > 0) {
            const int before = lineLength_;
            TriggerDataAvailable(error);
            if (lineLength_ == before) break;
        }
        lineLength_ = 0;
    }
    rcvBuf_.clear();
    rcvBuf_.shrink_to_fit();
    TCustomSocksWSocket::TriggerSessionClosed(error);
}

std::string TCustomSyncWSocket::ReadLine(int timeout)
{
    if (State() != wsConnected) throw ESocketException("ReadLine failed: not connected");
    const auto wait = timeout == 0  ? std::chrono::milliseconds(60000)
                      : timeout < 0 ? std::chrono::milliseconds(-timeout)
                                    : std::chrono::milliseconds(timeout * 1000LL);
    std::string line;
    bool got = false;
    auto previous = OnDataAvailable;
    const bool previousMode = LineMode();
    OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
        line = sender->ReceiveStr();
        got = true;
    };
    SetLineMode(true);
    if (Loop() != nullptr) Loop()->RunUntil([&] { return got || State() != wsConnected; }, wait);
    OnDataAvailable = previous;
    if (!got) {
        // Time-out: hand back whatever the line buffer holds.
        line = ReceiveStr();
    }
    SetLineMode(previousMode);
    return line;
}

}  // namespace corvane
