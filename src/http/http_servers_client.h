// httpServersClientClass: the web server's connection class in this server. Beside the engine's
// connection it carries the current response's use of the cache (served from the cache's copy,
// or copied into it while it is sent), the fields the web policy keeps per request, and the remembered
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

class httpServersClientClass : public THttpConnection {
public:
    // The current response's use of the cache. Its position is the next byte of the body in
    // the cached copy; a copy being filled starts where the response's first bytes go (a range
    // request fills from its first byte), and is broken when bytes went out that it did not see.
    // The lookup's source time dates a document sent from the cache without its file.
    CacheTransfer CachedCopy;
    // The owner hears here when a response's body has ended (the cache's end of transfer).
    std::function<void(httpServersClientClass&)> OnBodyFinished;
    // The web policy's own fields: the path under which the response is known to the cache,
    // and whether the end of the connection is kept out of the cache's figures (HEAD).
    std::string cacheKey;
    bool skipCacheAccounting = false;

    // The connection's number in its service, never reused: the reverse lookup of the browser's
    // address finds the connection by it when it answers.
    long long number = 0;
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

    std::string hostName_;
};

}  // namespace corvane
