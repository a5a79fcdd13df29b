// CacheTransfer: one transfer's use of a cached copy, in one place. It holds what the transfer
// does with the copy (CacheUse), the copy, where in the copy the transfer is, where a fill
// began and whether it broke, and the lease on the cache's entry that the transfer's end
// reports to. What it does and what it holds come from the one lookup that made it, so they
// cannot disagree; a transfer that ends, or a fill that breaks, changes them together.
//
// Its homes: the FTP control connection's current transfer and the web connection's current
// response. The engines serve or fill the copy; the cache's part of the server thread makes the
// object at the transfer's start and reports its end.
//
// Owner thread: the server thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <iostream>
#include <memory>

#include "cache/cache_lease.h"

namespace corvane {

class CacheTransfer {
public:
    // No cache.
    CacheTransfer() = default;
    // As the cache's lookup answered; the copy is read or written from `position` on.
    explicit CacheTransfer(CacheLease lease, std::int64_t position = 0);
    // A copy that is not an entry of the cache (an owner's own): used the same way, with no
    // lease to report to.
    CacheTransfer(CacheUse use, std::shared_ptr<std::iostream> copy, std::int64_t position = 0);
    CacheTransfer(CacheTransfer&&) noexcept = default;
    CacheTransfer& operator=(CacheTransfer&&) noexcept = default;

    // None without a copy, and once a fill has broken.
    CacheUse Use() const { return !copy_ || (use_ == CacheUse::Fill && fillBroken_) ? CacheUse::None : use_; }
    bool Serves() const { return Use() == CacheUse::Serve; }
    bool Fills() const { return Use() == CacheUse::Fill; }
    bool InUse() const { return Use() != CacheUse::None; }
    // The copy while it is in use, else empty. A sender that hands its bytes on keeps it alive
    // through this pointer until they have gone.
    const std::shared_ptr<std::iostream>& Copy() const { return InUse() ? copy_ : kNoCopy; }

    // The next byte of the copy that the transfer reads or writes.
    std::int64_t Position() const { return position_; }
    void MoveTo(std::int64_t position) { position_ = position; }
    void Advance(std::int64_t count) { position_ += count; }

    // A fill that does not start at the copy's first byte (a range) begins where its first
    // bytes go; FillStart is where that was.
    void StartFillAt(std::int64_t offset);
    // The fill begins afresh where the body's first bytes go.
    void RestartFill();
    bool FillStarted() const { return fillStarted_; }
    std::int64_t FillStart() const { return fillStart_; }
    // Bytes went out that the copy did not get: it stops being filled, and its end is reported
    // as failed, so the copy is not kept.
    void BreakFill() { fillBroken_ = true; }
    bool FillBroken() const { return fillBroken_; }

    // The source's modification time as the lookup found it (whole seconds; 0 without one).
    std::time_t SourceTime() const { return lease_.SourceTime(); }
    // The lease the transfer's end is reported to (not open for a copy of an owner's own).
    CacheLease& Lease() { return lease_; }
    const CacheLease& Lease() const { return lease_; }

private:
    static const std::shared_ptr<std::iostream> kNoCopy;

    CacheLease lease_;
    CacheUse use_ = CacheUse::None;
    std::shared_ptr<std::iostream> copy_;
    std::int64_t position_ = 0;
    std::int64_t fillStart_ = 0;
    bool fillStarted_ = false;
    bool fillBroken_ = false;
};

}  // namespace corvane
