// A stream whose bytes sit in this process's memory and can be lent to a sender, which then
// hands them to a socket from where they are instead of copying them out first. A stream that
// can lend offers its LendableBytes through a slot every stream has for such additions
// (std::ios_base::pword), as the transfer streams offer what they can do; a sender asks the
// stream for it and reads and writes any stream that offers none as a plain stream.
//
// Owner thread: that of the stream.
#pragma once

#include <cstdint>
#include <ios>
#include <span>

#include "common/stream_slot.h"

namespace corvane {

class LendableBytes {
public:
    // The bytes written so far from `offset` on (empty at or past the end). They stay where they
    // are, unchanged, as long as the stream lives and nobody writes to it.
    virtual std::span<const char> BytesFrom(std::int64_t offset) const = 0;
    // Room for up to `count` bytes at `offset` that the caller fills in place and then announces
    // with Written. It never moves, so what the caller lends from it stays valid however the
    // stream is written later. Empty when the stream cannot lend room there (its bytes may move
    // when it grows, or it holds no more).
    virtual std::span<char> RoomAt(std::int64_t offset, std::int64_t count) = 0;
    // `count` bytes at `offset` have been written into the room lent by RoomAt.
    virtual void Written(std::int64_t offset, std::int64_t count) = 0;

protected:
    LendableBytes() = default;
    LendableBytes(const LendableBytes&) = default;
    LendableBytes& operator=(const LendableBytes&) = default;
    ~LendableBytes() = default;
};

// What the stream lends; nullptr for a stream that lends nothing.
inline LendableBytes* LendableBytesOf(std::ios_base& stream) { return StreamSlot<LendableBytes>::Of(stream); }
// For the constructor of a stream type: the stream lends through `bytes` (which lives as long).
inline void OfferLendableBytes(std::ios_base& stream, LendableBytes* bytes)
{
    StreamSlot<LendableBytes>::Offer(stream, bytes);
}

}  // namespace corvane
