#include "http/http_servers_client.h"

#include "http/http_texts.h"

namespace corvane {

void httpServersClientClass::ProcessGet()
{
    THttpGetFlag flags = hgSendDoc;
    TriggerGetDocument(flags);
    if (flags == hgSendDoc && answer_.CachedCopy.Serves() && !documentFile_.IsOpen()) {
        SendDocument(httpSendDoc);
        return;
    }
    AnswerGet(flags);
}

void httpServersClientClass::SendDocument(THttpSendType sendType)
{
    if (!answer_.CachedCopy.Serves()) {
        answer_.CachedCopy.RestartFill();
        THttpConnection::SendDocument(sendType);
        return;
    }
    // The cache holds the document: its copy is what is sent, and its size is the length.
    std::int64_t fileSize = 0;
    DocumentTime = 0;
    if (documentFile_.IsOpen()) documentFile_.SizeAndTimeAtOpen(fileSize, DocumentTime);
    else DocumentTime = answer_.CachedCopy.SourceTime();
    DocumentContentType = DocumentToContentType(Document);
    DocumentStream.reset();
    std::iostream& copy = *answer_.CachedCopy.Copy();
    copy.clear();
    copy.seekg(0, std::ios::end);
    const std::int64_t size = static_cast<std::int64_t>(copy.tellg());
    std::string& header = ReplyBuffer();
    const bool body = PrepareFileResponse(sendType, size < 0 ? 0 : size, header);
    answer_.CachedCopy.MoveTo(sendOffset_);
    if (body && sendRemaining_ <= kSmallBody) {
        // A small body goes with its header in one write, as it does from the file.
        const std::size_t headerSize = header.size();
        header.resize(headerSize + static_cast<std::size_t>(sendRemaining_));
        copy.clear();
        copy.seekg(sendOffset_);
        copy.read(header.data() + headerSize, static_cast<std::streamsize>(sendRemaining_));
        const std::int64_t got = copy.gcount();
        header.resize(headerSize + static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
        answer_.CachedCopy.Advance(got);
        bodyBytesSent_ += got;
        sendRemaining_ = 0;
        if (State() == wsConnected) SendAnswer(header, true);
        documentFile_.Close();
        FinishBody();
        return;
    }
    if (State() == wsConnected) SendAnswer(header, !body);
    if (!body) {
        documentFile_.Close();
        FinishBody();
        return;
    }
    SendWithoutDelay();
    BeginSendingBlocks();
    ConnectionDataSent();
}

bool httpServersClientClass::SendNextCachedBlock()
{
    if (DocumentBuffer.size() < static_cast<std::size_t>(kStreamBlock)) DocumentBuffer.resize(kStreamBlock);
    std::iostream& cache = *answer_.CachedCopy.Copy();
    cache.clear();
    cache.seekg(answer_.CachedCopy.Position());
    const std::streamsize want = static_cast<std::streamsize>(std::min<std::int64_t>(kStreamBlock, sendRemaining_));
    if (want <= 0) return false;
    cache.read(DocumentBuffer.data(), want);
    const std::streamsize count = cache.gcount();
    if (count <= 0 || State() != wsConnected) return false;
    answer_.CachedCopy.Advance(count);  // a block served from the copy is not a read of the document
    sendRemaining_ -= count;
    bodyBytesSent_ += count;
    Send(DocumentBuffer.data(), static_cast<int>(count));
    return true;
}

void httpServersClientClass::ConnectionDataSent()
{
    if (!SendingBlocks()) return;
    if (answer_.CachedCopy.Serves()) {
        if (!SendNextCachedBlock()) FinishBody();
        return;
    }
    if (answer_.CachedCopy.Fills() && documentFile_.IsOpen()) {
        // The cache takes a copy: the block goes through memory so that it can be written there.
        if (DocumentBuffer.size() < static_cast<std::size_t>(kStreamBlock)) DocumentBuffer.resize(kStreamBlock);
        const std::int64_t want = std::min<std::int64_t>(kStreamBlock, sendRemaining_);
        const std::int64_t count =
            want > 0 ? documentFile_.ReadAt(DocumentBuffer.data(), static_cast<std::size_t>(want), sendOffset_) : 0;
        if (count <= 0 || State() != wsConnected) {
            FinishBody();
            return;
        }
        BodyBytesRead(DocumentBuffer.data(), count, sendOffset_);
        sendOffset_ += count;
        sendRemaining_ -= count;
        bodyBytesSent_ += count;
        Send(DocumentBuffer.data(), static_cast<int>(count));
        return;
    }
    THttpConnection::ConnectionDataSent();
}

// What is read for sending is copied into the cache's copy at the same offset, so a range
// request fills the part it sends. Bytes that went past this copy (straight from the file to
// the socket) leave a copy with a hole: it is reported broken and not kept.
void httpServersClientClass::BodyBytesRead(const char* bytes, std::int64_t count, std::int64_t offset)
{
    if (!answer_.CachedCopy.Fills() || count <= 0) return;
    if (!answer_.CachedCopy.FillStarted()) answer_.CachedCopy.StartFillAt(offset);
    if (bytes == nullptr || offset != answer_.CachedCopy.Position()) {
        answer_.CachedCopy.BreakFill();
        return;
    }
    std::iostream& copy = *answer_.CachedCopy.Copy();
    copy.clear();
    copy.seekp(offset);
    copy.write(bytes, static_cast<std::streamsize>(count));
    if (!copy) {
        // A copy that cannot take the bytes is not filled further: it would not be kept.
        answer_.CachedCopy.BreakFill();
        return;
    }
    answer_.CachedCopy.MoveTo(offset + count);
}

void httpServersClientClass::BodyFinished()
{
    if (OnBodyFinished) OnBodyFinished(*this);
}

}  // namespace corvane
