// TFtpTransfer: everything one client's current transfer knows, in one place. A transfer
// command (RETR, STOR, APPE, STOU, LIST, NLST, MLSD) and REST fill it; the data connection's
// handlers, the owner's policy and its cache read it. The state of the data connection itself
// is the client's TFtpDataChannel.
//
// Lifetime of its fields:
// - BeginTransfer clears the count of bytes; each command sets its names and stream.
// - Finish, called by the engine once per transfer however it ends (its data connection closed,
//   ABOR before the connection, a listing that failed before sending), puts back what must not
//   reach the next transfer: the REST offset, the listing mark, a held block's pause. The count, the
//   names and the message stay readable until the next transfer command, so that the closed
//   handlers and the status views can still report them.
//
// Owner thread: the client's. The object is not copyable: the cache's lease and the held
// block's timer have one owner.
#pragma once

#include <string>

#include "cache/cache_transfer.h"
#include "ftp/ftp_transfer_state.h"
#include "ftp/ftp_types.h"

namespace corvane {

struct TFtpTransfer {
    TFtpTransfer() = default;
    TFtpTransfer(const TFtpTransfer&) = delete;
    TFtpTransfer& operator=(const TFtpTransfer&) = delete;

    // The name the client gave (backslashed) and the file it leads to; empty for a listing.
    std::string RequestedFileName, LocalFilePath;
    // The bytes sent or received: a file, the engine's listing or an owner's own text.
    TFtpStream Stream;
    // Who drops Stream when the transfer ends (TFtpStreamOwner).
    TFtpStreamOwner StreamOwner = TFtpStreamOwner::Owner;
    // The reason given in the final reply of a failed or aborted transfer.
    std::string Message;
    long long TransferredBytes = 0;
    // A download has handed its last byte to the data connection.
    bool DataExhausted = false;
    // Where the next transfer starts in its file (REST, or APPE's end of file).
    long long RestartOffset = 0;
    // The file of the last download that opened one, and the folder of the last listing.
    std::string RetrFilePath, ListedDirectory;
    // The transfer is a listing (of a folder or of search results), not a file.
    bool Listing = false;
    // The transfer's use of a cached copy: served instead of the file or listing, or filled
    // with what is sent.
    CacheTransfer CachedCopy;
    // The owner's pause before the next download block, in milliseconds: an OnRetrDataSent
    // handler that sets it to 0 or more has the next block sent from a timer that long after,
    // while the thread goes on serving everyone else. The engine puts it back to -1 (no pause)
    // each time it has read it.
    int HoldNextBlockMs = -1;
    // The largest download block the owner wants sent at once, 0 for the engine's own size. A
    // download held to a rate asks for small blocks, so that its pauses are short and its
    // pace even instead of a burst of half a megabyte every few seconds.
    int MaxDownloadBlock = 0;
    // The engine's resources of the running transfer (block buffer, held block).
    TFtpTransferState Engine;

    // The end of the transfer: see above.
    void Finish()
    {
        RestartOffset = 0;
        Listing = false;
        HoldNextBlockMs = -1;
    }
};

}  // namespace corvane
