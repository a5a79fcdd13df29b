// DnsLookupRequest: one asynchronous name or address lookup of a socket.
//
// The blocking resolver call runs on one of a few resolver threads (four at most, detached;
// lookups beyond them wait in order): a lookup that hangs never holds up its socket, the owner
// thread or the end of the process. The thread
// holds only the request's shared state; the result goes back through the socket's home
// (SocketHome), so it runs on the socket's owner thread, after the handler that started the
// lookup, and only when the socket still exists and the request was not cancelled meanwhile.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/socket_home.h"

namespace corvane {

class DnsLookupRequest {
public:
    enum class Kind { HostToAddresses, AddressToName };
    // Runs on the owner thread: 0 and the dotted addresses (or the host name), or an error
    // number of the system's numbering and nothing.
    using Completion = std::function<void(int error, const std::vector<std::string>& results)>;

    // Starts the lookup. Returns 0, or the error number when no resolver thread could be started
    // and none runs (the completion then never runs).
    static int Start(Kind kind, const std::string& query, const std::shared_ptr<SocketHome>& home,
                     Completion completion, std::shared_ptr<DnsLookupRequest>& request);

    // Owner thread. After this the completion never runs. The resolver thread finishes on its own.
    void Cancel() { cancelled_ = true; }

    // Lookups whose resolver thread has not finished yet, process-wide (for orderly tests and
    // diagnostics: a cancelled lookup still counts until its resolver call returns).
    static int InFlight();

private:
    DnsLookupRequest(Kind kind, std::string query, Completion completion)
        : kind_(kind),
          query_(std::move(query)),
          completion_(std::move(completion))
    {}
    void Resolve(int& error, std::vector<std::string>& results) const;

    const Kind kind_;
    const std::string query_;
    Completion completion_;  // owner thread only
    std::atomic<bool> cancelled_{false};
};

}  // namespace corvane
