#include "ftp/ftp_stream_capability.h"

#include "common/stream_slot.h"

namespace corvane {

TFtpStreamCapability* CapabilityOf(std::ios_base& stream) { return StreamSlot<TFtpStreamCapability>::Of(stream); }

void OfferCapability(std::ios_base& stream, TFtpStreamCapability* capability)
{
    StreamSlot<TFtpStreamCapability>::Offer(stream, capability);
}

bool TFtpMemoryStream::Resize(std::streamoff size)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    str(std::string(static_cast<std::size_t>(size < 0 ? 0 : size), '\0'));
    clear();
    return true;
}

}  // namespace corvane
