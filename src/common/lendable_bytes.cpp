#include "common/lendable_bytes.h"

namespace corvane {
namespace {

// The slot index is taken once, before any stream asks for it.
int LendingSlot()
{
    static const int slot = std::ios_base::xalloc();
    return slot;
}

}  // namespace

LendableBytes* LendableBytesOf(std::ios_base& stream)
{
    return static_cast<LendableBytes*>(stream.pword(LendingSlot()));
}

void OfferLendableBytes(std::ios_base& stream, LendableBytes* bytes) { stream.pword(LendingSlot()) = bytes; }

}  // namespace corvane
