// CacheLease: one transfer's use of one cache entry, as a lookup answered it (CacheUse). The lease names the
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

// What a transfer does with the cache, as a lookup answered: leave it alone, send from the
// entry's copy, or fill the copy with what it sends.
enum class CacheUse { None, Serve, Fill };

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

    CacheUse Use() const { return use_; }
    // The entry's stream when it is served or filled, empty otherwise.
    std::shared_ptr<std::iostream> Stream() const;
    // The source's modification time (whole seconds) as the lookup found it; 0 without one.
    std::time_t SourceTime() const;
    // The transfer has not reported its end yet.
    bool Open() const { return open_; }

private:
    friend class serverCacheClass;
    void Reset() noexcept;

    serverCacheClass* cache_ = nullptr;
    std::shared_ptr<cacheEntryClass> entry_;
    CacheUse use_ = CacheUse::None;
    bool open_ = false;
    ThreadOwner owner_;  // each lease object its own: a move hands over the use, not the owner
};

}  // namespace corvane
