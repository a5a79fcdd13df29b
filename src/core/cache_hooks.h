// CacheHooks: the cache as the server's transfers use it, for both protocols. It owns the
// cache, starts each transfer's use of it (a lookup that gives the transfer its CacheTransfer),
// reports each transfer's end to the entry it used, drops what the server's own changes made
// stale, and hands the cache view to the window when the operator asked for it after changes.
//
// Threads: the server thread owns it (a member of ftpServerThread, before the engines: it
// outlives every lease their clients hold) and runs everything here but what is marked "any
// thread". The cache's settings, capacity and snapshot are safe from the window thread.
#pragma once

#include <atomic>
#include <string>

#include "cache/server_cache.h"
#include "core/cache_view_rows.h"
#include "core/server_settings.h"
#include "core/server_thread_loop.h"
#include "core/window_hand_off.h"

namespace corvane {

class httpServersClientClass;
class permissionsClass;
class serversClientClass;

class CacheHooks {
public:
    CacheHooks(permissionsClass& accounts, WindowThread& window, const ServerThreadLoop& loop,
               LatestValueShow<CacheViewContents>::Show showView);
    CacheHooks(const CacheHooks&) = delete;
    CacheHooks& operator=(const CacheHooks&) = delete;

    // ---- Any thread ----
    serverCacheClass& Cache() { return cache_; }
    // The cache's settings and the view's refresh switch, without refreshing the view.
    void Configure(const ServerSettings& settings);
    // The settings the window thread copied at a start of a service, then the view's refresh.
    void ApplySettings(const ServerSettings& settings);

    // ---- Server thread ----
    // A transfer's lookup gives the client's current transfer its use of the cache for a path
    // and a lease on the entry; the transfer's end reports to that entry. An empty path or "\"
    // names the account's home folder (FTP) or the web root's listing key (HTTP).
    void OpenCachedFile(const std::string& path, serversClientClass& client, bool listing);
    // `document`: the web request wants a file (a folder's path is then not cached for it).
    void OpenCachedFile(const std::string& path, httpServersClientClass& client, bool document = false);
    // The end of an FTP retrieval: for a listing, a failed one is dropped and a good one counts
    // its real size; for a file, the bytes copied are recorded.
    void TransferDone(serversClientClass& client, bool failed);
    // The end of an HTTP response (or of its connection): the copy's bytes are recorded, the
    // entry counts its real size, and the response's use of the cache ends.
    void TransferDone(httpServersClientClass& client, bool failed);
    void Invalidate(const std::string& path);
    // A folder whose entries changed through this server: its cached listings go.
    void InvalidateListings(const std::string& folder);
    // The cache view is refreshed when the operator asked for it after each change.
    void Changed();
    // The snapshot is taken here and drawn by the window thread when it gets to it; the server
    // thread does not wait for the window.
    void RefreshView();

private:
    permissionsClass& accounts_;
    const ServerThreadLoop& loop_;
    // Before the cache: a change of the cache hands to it.
    LatestValueShow<CacheViewContents> viewShow_;
    serverCacheClass cache_;
    std::atomic<bool> autoRefresh_{false};
};

}  // namespace corvane
