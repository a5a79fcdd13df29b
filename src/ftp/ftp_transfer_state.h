// The engine's own resources of one client's running transfer: its block buffer, the file block
// on its way and the held block's timer. The state of the data connection itself is the
// client's TFtpDataChannel. Only the engine reads or writes it.
//
// Owner thread: the client's. The held block timer is cancelled when the object goes, so a
// client that leaves while a download block is being held leaves no timer behind.
#pragma once

#include <memory>
#include <vector>

#include "common/thread_owner.h"
#include "ftp/ftp_types.h"
#include "platform/event_loop.h"

namespace corvane {

struct TFtpTransferState {
    TFtpTransferState() = default;
    TFtpTransferState(const TFtpTransferState&) = delete;
    TFtpTransferState& operator=(const TFtpTransferState&) = delete;
    ~TFtpTransferState() { CancelBlockTimer(); }

    // Block buffer of the transfer (RcvSize bytes), kept apart from the command buffer, which
    // may hold the start of the next command line; released when the transfer ends.
    std::vector<char> block;
    // The bytes of the download block that went to the data socket straight from the file, until
    // the block is settled against what the socket actually handed to the stack (0: none).
    long long fileBlock = 0;

    // The one-shot timer that holds the next download block (0: none).
    EventLoop::TimerId blockTimer = 0;
    EventLoop* blockTimerLoop = nullptr;
    ThreadOwner owner;  // the client's thread

    void CancelBlockTimer()
    {
        CORVANE_ASSERT_OWNER_THREAD(owner);
        if (blockTimer != 0 && blockTimerLoop != nullptr) blockTimerLoop->CancelTimer(blockTimer);
        blockTimer = 0;
        blockTimerLoop = nullptr;
    }
};

}  // namespace corvane
