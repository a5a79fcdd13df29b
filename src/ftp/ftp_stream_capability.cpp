#include "ftp/ftp_stream_capability.h"

namespace corvane {
namespace {

// The slot index is taken once, before any stream asks for it.
int CapabilitySlot()
{
    static const int slot = std::ios_base::xalloc();
    return slot;
}

}  // namespace

TFtpStreamCapability* CapabilityOf(std::ios_base& stream)
{
    return static_cast<TFtpStreamCapability*>(stream.pword(CapabilitySlot()));
}

void OfferCapability(std::ios_base& stream, TFtpStreamCapability* capability)
{
    stream.pword(CapabilitySlot()) = capability;
}

bool TFtpMemoryStream::Resize(std::streamoff size)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    str(std::string(static_cast<std::size_t>(size < 0 ? 0 : size), '\0'));
    clear();
    return true;
}

}  // namespace corvane
