#include "http/http_servers_client.h"

#include "http/http_texts.h"
#include "net/reverse_lookup_wait.h"

namespace corvane {

std::string httpServersClientClass::PeerHostName(const std::function<bool()>& closing)
{
    if (!hostName_.empty()) return hostName_.rfind("Error #", 0) == 0 ? std::string() : hostName_;
    const TReverseLookupResult found = WaitForReverseLookup(PeerAddr(), closing);
    if (found.done && found.error == 0 && !found.hostName.empty()) {
        hostName_ = found.hostName;
        return hostName_;
    }
    hostName_ = "Error #" + std::to_string(found.error == 0 ? 11001 : found.error);
    return std::string();
}

void httpServersClientClass::SendDocument(THttpSendType sendType)
{
    if (CacheMode != -1 || !CacheStream) {
        CachePosition = 0;
        THttpConnection::SendDocument(sendType);
        return;
    }
    // The cache holds the document: its copy is what is sent, and its size is the length.
    DocumentTime = FileDate(Document);
    DocumentContentType = DocumentToContentType(Document);
    DocumentStream.reset();
    CacheStream->clear();
    CacheStream->seekg(0, std::ios::end);
    const std::int64_t size = static_cast<std::int64_t>(CacheStream->tellg());
    std::string header;
    const bool body = PrepareFileResponse(sendType, size < 0 ? 0 : size, header);
    if (State() == wsConnected) SendStr(header);
    if (!body) {
        FinishBody();
        return;
    }
    CachePosition = sendOffset_;
    sending_ = true;
    ConnectionDataSent();
}

bool httpServersClientClass::SendNextCachedBlock()
{
    if (DocumentBuffer.size() < static_cast<std::size_t>(kStreamBlock)) DocumentBuffer.resize(kStreamBlock);
    std::iostream& cache = *CacheStream;
    cache.clear();
    cache.seekg(CachePosition);
    const std::streamsize want = static_cast<std::streamsize>(std::min<std::int64_t>(kStreamBlock, sendRemaining_));
    if (want <= 0) return false;
    cache.read(DocumentBuffer.data(), want);
    const std::streamsize count = cache.gcount();
    if (count <= 0 || State() != wsConnected) return false;
    CachePosition += count;  // a block served from the copy is not a read of the document
    sendRemaining_ -= count;
    bodyBytesSent_ += count;
    Send(DocumentBuffer.data(), static_cast<int>(count));
    return true;
}

void httpServersClientClass::ConnectionDataSent()
{
    if (!sending_) return;
    if (CacheMode == -1 && CacheStream) {
        if (!SendNextCachedBlock()) FinishBody();
        return;
    }
    if (CacheMode == 1 && CacheStream && documentFile_.IsOpen()) {
        // The cache takes a copy: the block goes through memory so that it can be written there.
        if (DocumentBuffer.size() < static_cast<std::size_t>(kStreamBlock)) DocumentBuffer.resize(kStreamBlock);
        const std::int64_t want = std::min<std::int64_t>(kStreamBlock, sendRemaining_);
        const std::int64_t count =
            want > 0 ? documentFile_.ReadAt(DocumentBuffer.data(), static_cast<std::size_t>(want), sendOffset_) : 0;
        if (count <= 0 || State() != wsConnected) {
            FinishBody();
            return;
        }
        CacheStream->clear();
        CacheStream->seekp(CachePosition);
        CacheStream->write(DocumentBuffer.data(), count);
        BodyBytesRead(count);
        sendOffset_ += count;
        sendRemaining_ -= count;
        bodyBytesSent_ += count;
        Send(DocumentBuffer.data(), static_cast<int>(count));
        return;
    }
    THttpConnection::ConnectionDataSent();
}

}  // namespace corvane
