// httpServersClientClass: the web server's connection class in this server. Beside the engine's
// connection it carries the current answer (WebAnswer: its use of the cache) and the remembered
// reverse lookup of the browser's address.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "cache/cache_transfer.h"
#include "http/http_connection.h"

namespace corvane {

// What one answered request knows beyond the engine's fields. The web policy starts a new one
// for each request (StartAnswer), after it has told the cache how the last one ended, so nothing
// of an earlier answer on a kept-alive connection reaches the next.
struct WebAnswer {
    // The answer's use of the cache. Its position is the next byte of the body in the cached
    // copy; a copy being filled starts where the response's first bytes go (a range request
    // fills from its first byte), and is broken when bytes went out that it did not see. The
    // lookup's source time dates a document sent from the cache without its file.
    CacheTransfer CachedCopy;
    // The answer is decided without the cache and never changes its figures (HEAD).
    bool WithoutCache = false;
};

class httpServersClientClass : public THttpConnection {
public:
    WebAnswer& Answer() { return answer_; }
    const WebAnswer& Answer() const { return answer_; }
    void StartAnswer(bool withoutCache)
    {
        answer_ = WebAnswer();
        answer_.WithoutCache = withoutCache;
    }
    // The owner hears here when a response's body has ended (the cache's end of transfer).
    std::function<void(httpServersClientClass&)> OnBodyFinished;
    // The outcome of that lookup (common/lookup_outcome.h), empty before one has ended.
    const std::string& RememberedHostName() const { return hostName_; }
    void RememberHostName(const std::string& outcome) { hostName_ = outcome; }

    // A document the cache serves is sent without opening its file.
    void ProcessGet() override;
    void SendDocument(THttpSendType sendType) override;
    void ConnectionDataSent() override;

protected:
    void BodyBytesRead(const char* bytes, std::int64_t count, std::int64_t offset) override;
    void BodyFinished() override;

private:
    bool SendNextCachedBlock();

    WebAnswer answer_;
    std::string hostName_;
};

}  // namespace corvane
