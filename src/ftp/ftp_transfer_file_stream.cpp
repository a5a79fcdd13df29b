#include "ftp/ftp_transfer_file_stream.h"

#include <cstring>

#include "platform/fs.h"

namespace corvane {

TFtpFileStreamBuf::TFtpFileStreamBuf(FileStream file)
    : file_(std::move(file))
{
    setg(getBuf_, getBuf_, getBuf_);
    setp(putBuf_, putBuf_ + sizeof putBuf_);
}

TFtpFileStreamBuf::~TFtpFileStreamBuf() { FlushPut(); }

void TFtpFileStreamBuf::NoteError(const char* what)
{
    lastError_ = std::string(what) + ": " + fs::FsErrorText(fs::LastFsError());
}

bool TFtpFileStreamBuf::FlushPut()
{
    const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
    setp(putBuf_, putBuf_ + sizeof putBuf_);
    if (pending == 0) return true;
    if (file_.Write(putBuf_, pending)) return true;
    NoteError("Write error");
    return false;
}

bool TFtpFileStreamBuf::DropGet()
{
    const std::int64_t unread = egptr() - gptr();
    setg(getBuf_, getBuf_, getBuf_);
    if (unread == 0) return true;
    if (file_.Seek(-unread, FileStream::Origin::Current) >= 0) return true;
    NoteError("Seek error");
    return false;
}

TFtpFileStreamBuf::int_type TFtpFileStreamBuf::underflow()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!FlushPut()) return traits_type::eof();
    const std::int64_t got = file_.Read(getBuf_, sizeof getBuf_);
    if (got < 0) NoteError("Read error");
    if (got <= 0) {
        setg(getBuf_, getBuf_, getBuf_);
        return traits_type::eof();
    }
    setg(getBuf_, getBuf_, getBuf_ + got);
    return traits_type::to_int_type(getBuf_[0]);
}

std::streamsize TFtpFileStreamBuf::xsgetn(char* out, std::streamsize count)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    std::streamsize done = 0;
    const std::streamsize buffered = std::min<std::streamsize>(count, egptr() - gptr());
    if (buffered > 0) {
        std::memcpy(out, gptr(), static_cast<std::size_t>(buffered));
        gbump(static_cast<int>(buffered));
        done = buffered;
    }
    if (done == count) return done;
    if (!FlushPut()) return done;
    // A whole block goes from the file into the caller's memory in one read.
    while (done < count) {
        const std::int64_t got = file_.Read(out + done, static_cast<std::size_t>(count - done));
        if (got < 0) NoteError("Read error");
        if (got <= 0) break;
        done += got;
    }
    return done;
}

TFtpFileStreamBuf::int_type TFtpFileStreamBuf::overflow(int_type ch)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!DropGet() || !FlushPut()) return traits_type::eof();
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    *pptr() = traits_type::to_char_type(ch);
    pbump(1);
    return ch;
}

std::streamsize TFtpFileStreamBuf::xsputn(const char* data, std::streamsize count)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!DropGet() || !FlushPut()) return 0;
    if (file_.Write(data, static_cast<std::size_t>(count))) return count;
    NoteError("Write error");
    return 0;
}

TFtpFileStreamBuf::pos_type TFtpFileStreamBuf::seekoff(off_type offset, std::ios_base::seekdir dir,
                                                       std::ios_base::openmode /*which*/)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!FlushPut()) return pos_type(off_type(-1));
    if (dir == std::ios_base::cur) {
        // The file is ahead of the reader by what the read buffer still holds.
        offset -= egptr() - gptr();
    }
    setg(getBuf_, getBuf_, getBuf_);
    const FileStream::Origin origin = dir == std::ios_base::beg   ? FileStream::Origin::Begin
                                      : dir == std::ios_base::cur ? FileStream::Origin::Current
                                                                  : FileStream::Origin::End;
    const std::int64_t at = file_.Seek(offset, origin);
    if (at < 0) {
        NoteError("Seek error");
        return pos_type(off_type(-1));
    }
    return pos_type(off_type(at));
}

TFtpFileStreamBuf::pos_type TFtpFileStreamBuf::seekpos(pos_type position, std::ios_base::openmode which)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    return seekoff(off_type(position), std::ios_base::beg, which);
}

int TFtpFileStreamBuf::sync()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    return FlushPut() ? 0 : -1;
}

std::shared_ptr<TFtpFileStream> OpenTransferFile(const std::string& realPath, FileStream::Mode mode, long long offset,
                                                 std::string& error)
{
    FileStream file;
    if (!file.OpenReal(realPath, mode)) {
        error = "Cannot open file \"" + realPath + "\". " + fs::FsErrorText(fs::LastFsError());
        return nullptr;
    }
    if (offset != 0 && file.Seek(offset) < 0) {
        error = "Cannot seek to offset " + std::to_string(offset) + " in \"" + realPath + "\". " +
                fs::FsErrorText(fs::LastFsError());
        return nullptr;
    }
    return std::make_shared<TFtpFileStream>(std::move(file));
}

std::string TransferStreamErrorText(std::ios_base& stream, const char* fallback)
{
    const TFtpStreamCapability* capability = CapabilityOf(stream);
    std::string reason = capability != nullptr ? capability->LastErrorText() : std::string();
    return reason.empty() ? std::string(fallback) : reason;
}

}  // namespace corvane
