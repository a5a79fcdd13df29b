// httpServersClientClass: the web server's connection class in this server. Beside the engine's
// connection it carries the cache path of a response (served from the cache's copy, or copied
// into it while it is sent), the fields the web policy keeps per request, and the remembered
// reverse lookup of the browser's address.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "cache/cache_lease.h"
#include "http/http_connection.h"

namespace corvane {

class httpServersClientClass : public THttpConnection {
public:
    // -1: the bytes come from CacheStream; 1: what is sent is copied into CacheStream; 0: no
    // cache. CachePosition is the next byte of the body in the cached copy; a copy being filled
    // starts at CacheFillStart (a range request fills from its first byte), and is broken when
    // bytes went out that it did not see.
    std::shared_ptr<std::iostream> CacheStream;
    int CacheMode = 0;
    std::int64_t CachePosition = 0;
    std::int64_t CacheFillStart = 0;
    bool CacheFillBroken = false;
    // The response's use of the cache, from the lookup that set CacheStream and CacheMode.
    CacheLease cacheLease;
    // The document's modification time as the lookup found it, for a document sent from the
    // cache without its file.
    std::time_t CacheSourceTime = 0;
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
    bool cacheFillStarted_ = false;
};

}  // namespace corvane
