// CacheLease: one transfer's use of one cache entry, as a lookup answered it: 0, fill the
// stream while sending; 1, send from the stream; 2, do not use the cache. The lease names the
// very entry the lookup gave, so what the transfer reports at its end reaches that entry and
// no other one that has come under the same key meanwhile.
//
// A lease that goes without being finished (a client that vanished, a transfer that never
// started) is finished as a failed transfer, so no entry stays busy for ever.
//
// Owner thread: the server thread.
#pragma once

#include <ctime>
#include <iostream>
#include <memory>

#include "common/thread_owner.h"

namespace corvane {

class cacheEntryClass;
class serverCacheClass;

class CacheLease {
public:
    CacheLease() = default;
    ~CacheLease();
    CacheLease(CacheLease&& other) noexcept;
    CacheLease& operator=(CacheLease&& other) noexcept;
    CacheLease(const CacheLease&) = delete;
    CacheLease& operator=(const CacheLease&) = delete;

    // 0 fill, 1 serve, 2 no cache.
    int Answer() const { return answer_; }
    // The entry's stream for answers 0 and 1, empty for 2.
    std::shared_ptr<std::iostream> Stream() const;
    // The source's modification time (whole seconds) as the lookup found it; 0 without one.
    std::time_t SourceTime() const;
    // The transfer has not reported its end yet.
    bool Open() const { return open_; }
    // The CacheMode a transfer takes from the answer: -1 send from the stream, 1 fill it, 0.
    int CacheMode() const { return answer_ == 1 ? -1 : answer_ == 0 ? 1 : 0; }

private:
    friend class serverCacheClass;
    void Reset() noexcept;

    serverCacheClass* cache_ = nullptr;
    std::shared_ptr<cacheEntryClass> entry_;
    int answer_ = 2;
    bool open_ = false;
    ThreadOwner owner_;  // each lease object its own: a move hands over the use, not the owner
};

}  // namespace corvane
