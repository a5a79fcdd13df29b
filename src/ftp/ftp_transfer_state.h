// The engine's own bookkeeping of one client's data connection and transfer, beside the
// published fields of TFtpCtrlSocket. Only the engine reads or writes it.
//
// Owner thread: the client's. The held block timer is cancelled when the object goes, so a
// client that leaves while a download block is being held leaves no timer behind.
#pragma once

#include <memory>
#include <vector>

#include "ftp/ftp_types.h"
#include "platform/event_loop.h"

namespace corvane {

struct TFtpTransferState {
    TFtpTransferState() = default;
    TFtpTransferState(const TFtpTransferState&) = delete;
    TFtpTransferState& operator=(const TFtpTransferState&) = delete;
    ~TFtpTransferState() { CancelBlockTimer(); }

    // The passive port of the range that this client's data socket holds (0: none). Cleared
    // when the port is given back, so that it is given back once.
    int pasvPort = 0;
    // The command that started the current transfer (STOR, APPE, STOU, RETR, LIST, NLST); it
    // decides the data-connection handlers and the final reply, whatever commands follow.
    TFtpCommandId command = ftpcCmdNone;
    // From a transfer command's acceptance to its final reply: a second transfer command is
    // refused meanwhile.
    bool running = false;
    // A start-send event is on its way (DoStartSendData); ABOR calling the transfer off clears
    // it, and the event then starts nothing.
    bool startPosted = false;
    // Block buffer of the transfer (RcvSize bytes), kept apart from the command buffer, which
    // may hold the start of the next command line; released when the transfer ends.
    std::vector<char> block;
    // The bytes of the download block that went to the data socket straight from the file, until
    // the block is settled against what the socket actually handed to the stack (0: none).
    long long fileBlock = 0;

    // The one-shot timer that holds the next download block (0: none).
    EventLoop::TimerId blockTimer = 0;
    EventLoop* blockTimerLoop = nullptr;

    void CancelBlockTimer()
    {
        if (blockTimer != 0 && blockTimerLoop != nullptr) blockTimerLoop->CancelTimer(blockTimer);
        blockTimer = 0;
        blockTimerLoop = nullptr;
    }
};

}  // namespace corvane
