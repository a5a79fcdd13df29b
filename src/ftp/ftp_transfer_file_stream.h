// The stream type behind a transfer's local file: a std::iostream over a FileStream, so that
// a transfer's Stream (a shared std::iostream) can hold either an owner's in-memory listing or a file
// of the shared folders, and the file keeps the share rules of the file-system boundary (a
// second writer of the same file is refused; readers never block and are never blocked).
//
// Bulk reads and writes go straight to the file without an extra copy; the stream keeps a small
// buffer only for the character-wise operations of std::iostream. Positions are 64-bit.
// Owner: the thread of the transfer that holds it.
#pragma once

#include <iostream>
#include <memory>
#include <streambuf>
#include <string>

#include "common/thread_owner.h"
#include "ftp/ftp_stream_capability.h"
#include "platform/file_stream.h"

namespace corvane {

class TFtpFileStreamBuf : public std::streambuf {
public:
    explicit TFtpFileStreamBuf(FileStream file);
    ~TFtpFileStreamBuf() override;

    // The text of the last failed file operation ("" when none failed).
    const std::string& LastErrorText() const { return lastError_; }
    const FileStream& File() const { return file_; }

protected:
    int_type underflow() override;
    int_type overflow(int_type ch) override;
    std::streamsize xsgetn(char* out, std::streamsize count) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;
    int sync() override;

private:
    bool FlushPut();
    // Gives back what the read buffer holds but the reader has not taken, so the file's
    // position is the stream's position again.
    bool DropGet();
    void NoteError(const char* what);

    FileStream file_;
    char getBuf_[4096];
    char putBuf_[4096];
    std::string lastError_;
    ThreadOwner owner_;  // the transfer's thread, which opens the file
};

// It offers its file for sending straight from it, and the reason of its last failure.
class TFtpFileStream : public std::iostream, private TFtpStreamCapability {
public:
    explicit TFtpFileStream(FileStream file)
        : std::iostream(nullptr),
          buf_(std::move(file))
    {
        rdbuf(&buf_);
        OfferCapability(*this, this);
    }
    TFtpFileStream(const TFtpFileStream&) = delete;
    TFtpFileStream& operator=(const TFtpFileStream&) = delete;
    const FileStream& File() const { return buf_.File(); }

private:
    const FileStream* SendableFile() const override { return buf_.File().IsOpen() ? &buf_.File() : nullptr; }
    std::string LastErrorText() const override { return buf_.LastErrorText(); }

    TFtpFileStreamBuf buf_;
};

// Opens a real local path for a transfer and positions it at `offset`. On failure, returns
// nullptr and sets `error` to a text for the client: `Cannot open file "C:\x\a.txt". Access
// denied` (or the seek's failure).
std::shared_ptr<TFtpFileStream> OpenTransferFile(const std::string& realPath, FileStream::Mode mode, long long offset,
                                                 std::string& error);

// Why the last operation on a transfer stream failed: the stream's own reason when it can tell
// (a transfer file can), else `fallback`.
std::string TransferStreamErrorText(std::ios_base& stream, const char* fallback);

}  // namespace corvane
