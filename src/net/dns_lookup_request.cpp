#include "net/dns_lookup_request.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "common/ip_text.h"
#include "net/wsocket_functions.h"
#include "platform/socket_names.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

std::atomic<int> g_inFlight{0};

// The resolver threads: at most kResolverThreads, started as lookups need them and kept for
// the next ones; lookups beyond them wait their turn in order. A burst of connections that
// each want a reverse lookup costs a few threads, not one each. The threads are detached and
// the pool is never destroyed, so a resolver call that hangs holds up neither its socket nor
// the end of the process.
class ResolverPool {
public:
    static constexpr int kResolverThreads = 4;

    static ResolverPool& Instance()
    {
        static ResolverPool* pool = new ResolverPool;  // never destroyed: see above
        return *pool;
    }

    // 0, or the error number when no thread could be started for a lookup that found none free.
    int Run(std::function<void()> job)
    {
        std::unique_lock lock(mutex_);
        jobs_.push_back(std::move(job));
        if (idle_ > 0 || threads_ >= kResolverThreads) {
            wake_.notify_one();
            return 0;
        }
        try {
            std::thread([this] { Serve(); }).detach();
            ++threads_;
        } catch (const std::system_error& e) {
            jobs_.pop_back();
            if (threads_ > 0) return 0;
            return e.code().value() == 0 ? WSAENOBUFS : WinSockErrorFromErrno(e.code().value());
        }
        return 0;
    }

private:
    void Serve()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            ++idle_;
            wake_.wait(lock, [this] { return !jobs_.empty(); });
            --idle_;
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;  // guarded by mutex_
    int threads_ = 0;                         // guarded by mutex_
    int idle_ = 0;                            // guarded by mutex_
};

}  // namespace

int DnsLookupRequest::InFlight() { return g_inFlight.load(); }

int DnsLookupRequest::Start(Kind kind, const std::string& query, const std::shared_ptr<SocketHome>& home,
                            Completion completion, std::shared_ptr<DnsLookupRequest>& request)
{
    std::shared_ptr<DnsLookupRequest> started(new DnsLookupRequest(kind, query, std::move(completion)));
    ++g_inFlight;
    const int error = ResolverPool::Instance().Run([started, home] {
        int failure = 0;
        std::vector<std::string> results;
        // A lookup cancelled while it waited for a thread is not asked at all.
        if (!started->cancelled_) started->Resolve(failure, results);
        home->Post([started, failure, results = std::move(results)] {
            if (started->cancelled_) return;
            started->cancelled_ = true;  // delivered once
            Completion deliver = std::move(started->completion_);
            deliver(failure, results);
        });
        --g_inFlight;
    });
    if (error != 0) {
        --g_inFlight;
        return error;
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
    // Only an address has a name to look up.
    sockapi::Endpoint address;
    try {
        if (!WSocketIsDottedIP(query_) && !LooksIPv6(query_)) throw ESocketException("no address");
        address = WSocketResolveEndpoint(query_);
    } catch (const ESocketException&) {
        error = WSAHOST_NOT_FOUND;
        return;
    }
    error = address.v6 ? LookupHostEntryByAddress6(address.address6, entry)
                       : LookupHostEntryByAddress(address.address, entry);
    if (error == 0) results.push_back(entry.name);
}

}  // namespace corvane
