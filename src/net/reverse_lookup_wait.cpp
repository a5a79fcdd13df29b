#include "net/reverse_lookup_wait.h"

#include "net/line_wsocket.h"

namespace corvane {

TReverseLookupResult WaitForReverseLookup(const std::string& address, const std::function<bool()>& stop)
{
    TReverseLookupResult result;
    TWSocket lookup;
    lookup.OnDnsLookupDone = [&result](TCustomWSocket*, std::uint16_t error) {
        result.error = error;
        result.done = true;
    };
    try {
        lookup.ReverseDnsLookup(address);
        if (EventLoop* loop = EventLoop::Current())
            loop->RunUntil([&result, &stop] { return result.done || (stop && stop()); });
    } catch (const std::exception&) {
        result.done = true;
        if (result.error == 0) result.error = 11001;  // host not found
    }
    if (!result.done) lookup.CancelDnsLookup();
    if (result.done && result.error == 0) result.hostName = lookup.DnsResult();
    return result;
}

}  // namespace corvane
