#include "net/dns_lookup_request.h"

#include <system_error>
#include <thread>

#include "net/wsocket_functions.h"
#include "platform/socket_names.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

std::atomic<int> g_inFlight{0};

}  // namespace

int DnsLookupRequest::InFlight() { return g_inFlight.load(); }

int DnsLookupRequest::Start(Kind kind, const std::string& query, const std::shared_ptr<SocketHome>& home,
                            Completion completion, std::shared_ptr<DnsLookupRequest>& request)
{
    std::shared_ptr<DnsLookupRequest> started(new DnsLookupRequest(kind, query, std::move(completion)));
    ++g_inFlight;
    try {
        std::thread([started, home] {
            int error = 0;
            std::vector<std::string> results;
            started->Resolve(error, results);
            home->Post([started, error, results = std::move(results)] {
                if (started->cancelled_) return;
                started->cancelled_ = true;  // delivered once
                Completion deliver = std::move(started->completion_);
                deliver(error, results);
            });
            --g_inFlight;
        }).detach();
    } catch (const std::system_error& e) {
        --g_inFlight;
        return e.code().value() == 0 ? WSAENOBUFS : WinSockErrorFromErrno(e.code().value());
    }
    request = std::move(started);
    return 0;
}

void DnsLookupRequest::Resolve(int& error, std::vector<std::string>& results) const
{
    HostEntry entry;
    if (kind_ == Kind::HostToAddresses) {
        error = LookupHostEntryByName(query_, entry);
        if (error == 0)
            for (std::uint32_t address : entry.addresses) results.push_back(DottedAddress(address));
        return;
    }
    if (!WSocketIsDottedIP(query_)) {
        error = WSAHOST_NOT_FOUND;  // only an address has a name to look up
        return;
    }
    error = LookupHostEntryByAddress(WSocketResolveHost(query_), entry);
    if (error == 0) results.push_back(entry.name);
}

}  // namespace corvane
