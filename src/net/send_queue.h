// TSendQueue: what a stream socket has been asked to send and the stack has not taken yet.
//
// Bytes wait in a chain of fixed-size blocks (TBuffer), in the order they were added. A stretch
// of an open file, or of memory that the sender keeps alive (held bytes, sent from where they
// are instead of being copied into blocks), may wait among them: it goes after the blocks added
// before it, and the blocks added while it waits go after it. The queue only keeps order and counts; the socket decides
// when to offer what Gather hands out and tells the queue, through MarkSent and FileSent, how
// much the stack took.
// Owner: the socket that holds it (its owner thread only).
#pragma once

#include <deque>
#include <memory>

#include "net/tbuffer.h"
#include "platform/socket_api.h"

namespace corvane {

class TSendQueue {
public:
    // The stretch of a file, or of held bytes, that waits in the queue (remaining 0: none).
    // Held bytes are those from `memory` on; `keep` keeps them alive until they have gone.
    struct FileRange {
        int handle = -1;
        long long offset = 0;
        long long remaining = 0;
        const char* memory = nullptr;
        std::shared_ptr<const void> keep;
    };

    explicit TSendQueue(int blockSize);

    // Copies `len` bytes to the end of the queue (behind the file while one waits); len <= 0
    // adds nothing.
    void Append(const void* data, int len);

    // Hands out the unread blocks from the front, in order, at most `maxSlices` of them, and
    // sets `offered` to their byte count; 0 slices when no block holds unread bytes. Drained
    // blocks at the front are freed first; the last block stays for reuse. The slices point
    // into the queue and hold until the queue next changes.
    int Gather(sockapi::Slice* slices, int maxSlices, int& offered);
    // Marks the first `count` unread bytes of the blocks taken by the stack.
    void MarkSent(int count);

    // The file part. StartFile needs no file waiting already; FileSent counts `count` bytes of
    // it taken by the stack; FinishFile ends it (all taken, or the file ended early), and the
    // blocks added meanwhile join the front chain; DropFile forgets it and those blocks.
    void StartFile(int handle, long long offset, long long count);
    // The held-bytes part takes the file part's place, and its calls.
    void StartHeld(std::shared_ptr<const void> keep, const char* data, long long count);
    bool FilePending() const { return file_.remaining > 0; }
    const FileRange& File() const { return file_; }
    void FileSent(long long count);
    void FinishFile();
    void DropFile();
    // Bytes of the last file taken by the stack so far; kept until the next file is announced.
    long long FileBytesSent() const { return fileBytesSent_; }
    void ResetFileBytesSent() { fileBytesSent_ = 0; }

    // Unread bytes of every block, in front of the file and behind it (the file not counted).
    long long QueuedBytes() const { return queuedBytes_; }
    // Nothing waits: no unread block byte in front and no file. Blocks drain front to back, so
    // the front chain is empty exactly when its last block is; blocks wait behind a file only
    // while the file does.
    bool Empty() const { return (blocks_.empty() || blocks_.back().Unread() == 0) && !FilePending(); }
    // False until the first bytes are added and again after Clear: not even a drained block.
    bool HasBlocks() const { return !blocks_.empty(); }
    // Forgets every block and the file.
    void Clear();

private:
    void AppendTo(std::deque<TBuffer>& chain, const char* bytes, int len);

    int blockSize_;
    std::deque<TBuffer> blocks_;     // in front of the file, or everything when there is none
    std::deque<TBuffer> afterFile_;  // added while the file waits
    FileRange file_;
    long long queuedBytes_ = 0;
    long long fileBytesSent_ = 0;
};

}  // namespace corvane
