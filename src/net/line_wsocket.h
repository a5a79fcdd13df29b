// The upper layers of the socket, above the SOCKS layer (socks_wsocket.h): TCustomLineWSocket
// (line mode), TCustomSyncWSocket (the blocking ReadLine) and TWSocket, the class that users
// create. Owner thread: as TCustomWSocket.
//
// Line mode: received data is delivered one complete line at a time, LineEnd included. Inside
// OnDataAvailable, Receive and ReceiveStr hand out the bytes of the current line only, and
// RcvdCount is its length. A handler that reads nothing drops the line; a handler that leaves
// line mode after reading part of a line leaves the rest, and all later data, in the buffer, in
// order, for the next Receive. While reading is held for the sending (SetSendBacklogLimit),
// received lines wait in the buffer and are delivered once it resumes; the bytes read at once
// are bounded (kLineReadBlock), so the lines waiting are too.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "net/socks_wsocket.h"

namespace corvane {

class TCustomLineWSocket : public TCustomSocksWSocket {
public:
    using TLineLimitEvent = std::function<void(TCustomWSocket* sender, int rcvdLength, bool& clearData)>;
    // The most bytes taken from the stack in one read in line mode.
    static constexpr int kLineReadBlock = 64 * 1024;

    bool LineMode() const { return lineMode_; }
    virtual void SetLineMode(bool on);
    const std::string& LineEnd() const { return lineEnd_; }
    void SetLineEnd(const std::string& lineEnd) { lineEnd_ = lineEnd; }
    int LineLimit() const { return lineLimit_; }
    void SetLineLimit(int limit) { lineLimit_ = limit; }
    bool LineEcho() const { return lineEcho_; }
    void SetLineEcho(bool on) { lineEcho_ = on; }
    bool LineEdit() const { return lineEdit_; }
    void SetLineEdit(bool on) { lineEdit_ = on; }
    int LineLength() const { return lineLength_; }
    bool LineReceivedFlag() const { return lineReceived_; }
    // Bytes held in the receive buffer.
    int RcvdCnt() const { return static_cast<int>(rcvBuf_.size()); }
    // The bytes held in the receive buffer, not yet delivered.
    std::string_view Buffered() const { return rcvBuf_; }

    int Receive(void* buffer, int len) override;
    std::string ReceiveStr() override;
    int GetRcvdCount() override;

    TLineLimitEvent OnLineLimitExceeded;

protected:
    void HandleReadNotification(std::uint16_t error, bool forceLoop) override;
    void TriggerSessionClosed(std::uint16_t error) override;
    void AssignDefaultValue() override;
    void ReadingResumed() override;
    virtual void TriggerLineLimitExceeded(int rcvdLength, bool& clearData);
    // Applies LineEdit and LineEcho to newly received bytes; returns what is kept.
    virtual std::string EditLine(const std::string& received);

private:
    bool LineModeActive() const { return lineMode_ && !lineEnd_.empty(); }
    void ReadIntoBuffer();
    void DeliverLines(std::size_t searchFrom, std::uint16_t error);
    void DeliverHeldData();
    void CheckLineLimit();

    bool lineMode_ = false;
    std::string lineEnd_ = "\r\n";
    int lineLimit_ = 65536;
    bool lineEcho_ = false;
    bool lineEdit_ = false;
    std::string rcvBuf_;
    int lineLength_ = 0;
    bool lineReceived_ = false;
    bool lineClearData_ = false;
};

class TCustomSyncWSocket : public TCustomLineWSocket {
public:
    // Waits, serving the owner's queue, until one line has arrived in line mode; the timeout is
    // in seconds (0 means 60 s, a negative value that many milliseconds). On time-out it returns
    // what the line buffer holds. Raises "ReadLine failed: not connected" on a closed socket.
    virtual std::string ReadLine(int timeout);
};

class TWSocket : public TCustomSyncWSocket {};

class TSocksWSocket : public TWSocket {};

}  // namespace corvane
