// SharedIndex: the search lines of the shared files, the lock that serialises searches, and the
// indexer that fills them: a pass at each FTP start and at each periodic rebuild.
//
// A pass is never waited for on the server thread. Stopping one only asks it to stop and cuts
// it off from the search lines; the pass ends on its own (within one digest block, or one
// abort-timer period of a request) and is reaped on a later tick. Only the server thread's end
// joins what is left, while the window thread keeps serving the passes' hand-offs.
//
// Threads: made and destroyed by the window thread (with the server thread object); the
// indexer is started, stopped and reaped on the server thread; the search lines and their lock
// are safe from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "core/index_controller_link.h"
#include "core/server_thread_loop.h"
#include "p2p/index_thread.h"
#include "p2p/local_index_list.h"

namespace corvane {

class WindowThread;
class permissionsClass;
class serverController;

// The periodic rebuild: each tick adds kReindexStepPerTick to the counter, and a new pass
// starts each time the counter reaches a multiple of kReindexPeriod (every 1 200 ticks, some
// three hours and twenty minutes at the 10 s tick).
inline constexpr std::uint32_t kReindexStepPerTick = 3000;
inline constexpr std::uint32_t kReindexPeriod = 3600000;

class SharedIndex {
public:
    SharedIndex(serverController& controller, permissionsClass& accounts, WindowThread& window,
                const ServerThreadLoop& loop);
    ~SharedIndex();
    SharedIndex(const SharedIndex&) = delete;
    SharedIndex& operator=(const SharedIndex&) = delete;

    // Any thread (each call holds the index lock).
    LocalIndex& localIndexList() { return localIndexList_; }
    std::size_t indexCount() const { return localIndexList_.indexCount(); }
    // Serialises the searches and search-mode changes of all clients (taken before the index
    // lock).
    std::mutex& searchLock() { return searchLock_; }

    // ---- Server thread ----
    // Stops the pass that runs (without waiting for it) and starts a new one.
    void RestartIndexer();
    // Asks the pass that runs to stop and lets the server thread go on.
    void StopIndexer();
    // The tick's share: passes that have ended are freed, and the counter steps on; true when
    // a periodic rebuild is due.
    bool TickDue();
    // The server thread's end: waits for every pass asked to stop. Each ends within a bounded
    // time, provided the window thread serves its hand-offs meanwhile.
    void JoinStopped();
    std::uint32_t reindexCounter() const { return reindexCounter_.load(); }

private:
    void ReapEnded();

    permissionsClass& accounts_;
    const ServerThreadLoop& loop_;
    std::mutex searchLock_;
    LocalIndexList localIndexList_;
    IndexControllerLink indexControllerLink_;
    std::unique_ptr<IndexThread> indexer_;
    std::vector<std::unique_ptr<IndexThread>> stopping_;
    std::atomic<std::uint32_t> reindexCounter_{0};  // read by tests on the window thread
};

}  // namespace corvane
