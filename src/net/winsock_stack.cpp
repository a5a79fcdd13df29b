#include "net/winsock_stack.h"

#include <mutex>

#include "platform/socket_api.h"

namespace corvane {
namespace {

constexpr int kVersion11 = 0x0101;

struct StackCount {
    std::mutex mutex;
    int live = 0;         // guarded by mutex
    bool forced = false;  // guarded by mutex
    bool loaded = false;  // guarded by mutex
};

// Never destroyed: sockets of other threads may still uncount themselves during process exit.
StackCount& Count()
{
    static StackCount* count = new StackCount;
    return *count;
}

void AddLiveLocked(StackCount& count)
{
    ++count.live;
    count.loaded = true;  // the first use after an unload loads the stack again
}

void RemoveLiveLocked(StackCount& count)
{
    if (count.live > 0 && --count.live == 0) count.loaded = false;
}

}  // namespace

void WSocketForceLoadWinsock()
{
    StackCount& count = Count();
    std::lock_guard lock(count.mutex);
    if (count.forced) return;
    count.forced = true;
    AddLiveLocked(count);
}

void WSocketCancelForceLoadWinsock()
{
    StackCount& count = Count();
    std::lock_guard lock(count.mutex);
    if (!count.forced) return;
    count.forced = false;
    RemoveLiveLocked(count);
}

void WSocketUnloadWinsock()
{
    StackCount& count = Count();
    std::lock_guard lock(count.mutex);
    count.loaded = false;
}

TWSAData WinsockInfo()
{
    const sockapi::StackInfo host = sockapi::HostStackInfo();
    TWSAData data;
    data.wVersion = kVersion11;
    data.wHighVersion = 0x0202;  // what the Berkeley interface covers of the Windows Sockets API
    data.szDescription = host.description;
    data.szSystemStatus = host.status;
    data.iMaxSockets = host.maxSockets;
    data.iMaxUdpDg = host.maxDatagram;
    // Nothing is loaded on Linux, so asking leaves the bookkeeping as it was: loaded exactly
    // when a socket or a forced load is alive.
    return data;
}

int WSocketLiveSocketCount()
{
    StackCount& count = Count();
    std::lock_guard lock(count.mutex);
    return count.live;
}

bool WSocketStackLoaded()
{
    StackCount& count = Count();
    std::lock_guard lock(count.mutex);
    return count.loaded;
}

void WSocketCountSocketCreated()
{
    StackCount& count = Count();
    std::lock_guard lock(count.mutex);
    AddLiveLocked(count);
}

void WSocketCountSocketDestroyed()
{
    StackCount& count = Count();
    std::lock_guard lock(count.mutex);
    RemoveLiveLocked(count);
}

}  // namespace corvane
