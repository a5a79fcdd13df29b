// TCustomWSocket: names and address texts. The DNS and reverse lookups run on resolver threads
// and report on the owner thread; ResolveForUse turns Addr, Port and Proto texts into an endpoint.

#include "net/custom_wsocket.h"

#include "common/ip_text.h"
#include "net/wsocket_functions.h"
#include "platform/win_errors.h"

namespace corvane {

bool TCustomWSocket::ResolveForUse(const char* what, const std::string& host, const std::string& port,
                                   sockapi::Endpoint& remote, int& protocol)
{
    try {
        protocol = WSocketResolveProto(proto_);
        const int number = WSocketResolvePort(port, proto_);
        remote = WSocketResolveEndpoint(host);
        remote.port = number;
        return true;
    } catch (const ESocketException& e) {
        RaiseException(std::string(what) + ": " + e.what());
        return false;
    }
}

void TCustomWSocket::TriggerDNSLookupDone(std::uint16_t error)
{
    if (OnDnsLookupDone) OnDnsLookupDone(this, error);
}

void TCustomWSocket::DnsLookup(const std::string& hostName)
{
    if (hostName.empty()) {
        RaiseException("DNS lookup: invalid host name.");
        TriggerDNSLookupDone(WSAEINVAL);
        return;
    }
    if (loop_ == nullptr) {
        RaiseException("DnsLookup: Window not assigned");
        return;
    }
    CancelDnsLookup();
    dnsResult_.clear();
    dnsResultList_.clear();
    if (WSocketIsDottedIP(hostName) || LooksIPv6(hostName)) {
        dnsResult_ = EndpointAddressText(WSocketResolveEndpoint(hostName));
        dnsResultList_.push_back(dnsResult_);
        TriggerDNSLookupDone(0);
        return;
    }
    StartLookup(DnsLookupRequest::Kind::HostToAddresses, hostName, hostName.c_str());
}

void TCustomWSocket::ReverseDnsLookup(const std::string& hostAddr)
{
    if (hostAddr.empty() || hostAddr.size() > 256) {
        RaiseException("ReverseDnsLookup: Invalid host name.");
        TriggerDNSLookupDone(WSAEINVAL);
        return;
    }
    if (loop_ == nullptr) {
        RaiseException("ReverseDnsLookup: Window not assigned");
        return;
    }
    CancelDnsLookup();
    dnsResult_.clear();
    dnsResultList_.clear();
    StartLookup(DnsLookupRequest::Kind::AddressToName, hostAddr, "ReverseDnsLookup");
}

void TCustomWSocket::StartLookup(DnsLookupRequest::Kind kind, const std::string& query, const char* who)
{
    std::shared_ptr<DnsLookupRequest> request;
    // The completion runs only while this socket exists (the home drops it afterwards) and the
    // request is not cancelled, on the owner thread.
    const int error = DnsLookupRequest::Start(
        kind, query, home_,
        [this](int result, const std::vector<std::string>& found) { LookupFinished(result, found); }, request);
    if (error != 0) {
        lastError_ = error;
        RaiseException(std::string(who) + ": can't start DNS lookup, error #" + std::to_string(error));
        return;
    }
    dnsRequest_ = std::move(request);
}

void TCustomWSocket::LookupFinished(int error, const std::vector<std::string>& results)
{
    dnsRequest_.reset();  // the handler may start the next lookup
    if (error == 0 && results.empty()) error = WSANO_DATA;
    if (error == 0) {
        dnsResultList_ = results;
        dnsResult_ = results.front();
    }
    Guarded([&] { TriggerDNSLookupDone(static_cast<std::uint16_t>(error)); });
}

void TCustomWSocket::CancelDnsLookup()
{
    if (!dnsRequest_) return;
    dnsRequest_->Cancel();
    dnsRequest_.reset();
    if (!destroying_) TriggerDNSLookupDone(WSAEINTR);
}

}  // namespace corvane
