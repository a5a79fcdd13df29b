#include "core/cache_hooks.h"

#include <utility>

#include "accounts/permissions.h"
#include "common/constants.h"
#include "core/servers_client.h"
#include "http/http_servers_client.h"

namespace corvane {

CacheHooks::CacheHooks(permissionsClass& accounts, WindowThread& window, const ServerThreadLoop& loop,
                       LatestValueShow<CacheViewContents>::Show showView)
    : accounts_(accounts),
      loop_(loop),
      viewShow_(window, std::move(showView))
{}

// The cache is safe from any thread: the settings the window thread copied go to it directly.
void CacheHooks::Configure(const ServerSettings& s)
{
    cache_.SetDirectoryCacheEnabled(s.DirectoryCacheEnabled);
    cache_.SetFileCacheEnabled(s.FileCacheEnabled);
    cache_.SetCacheMode(s.FileCacheMode);
    cache_.SetCacheCapacity(s.CacheSize);
    autoRefresh_.store(s.CacheAutoRefreshGUI);
}

void CacheHooks::ApplySettings(const ServerSettings& s)
{
    Configure(s);
    Changed();
}

void CacheHooks::OpenCachedFile(const std::string& path, serversClientClass& client, bool listing)
{
    loop_.AssertOwner();
    const std::string key = path.empty() || path == "\\" ? accounts_.Folders().GetHomeFolder(client.UserName()) : path;
    TFtpTransfer& transfer = client.Transfer();
    // A lease the client still held (a transfer that never reported its end) goes first.
    transfer.CachedCopy = CacheTransfer();
    if (key.empty()) return;
    // The copy is read or written from where the transfer starts, whatever the last one left.
    transfer.CachedCopy = CacheTransfer(cache_.CacheLookup(key, listing ? CacheSource::Folder : CacheSource::File),
                                        listing ? 0 : transfer.RestartOffset);
}

void CacheHooks::OpenCachedFile(const std::string& path, httpServersClientClass& client, bool document)
{
    loop_.AssertOwner();
    const std::string key = path.empty() || path == "\\" ? "\\" + std::string(kListingMarker) : path;
    // A kept-alive connection's earlier response has reported already; anything left is let go.
    if (client.Answer().CachedCopy.Lease().Open()) TransferDone(client, false);
    client.Answer().CachedCopy =
        CacheTransfer(cache_.CacheLookup(key, document ? CacheSource::File : CacheSource::Any));
}

void CacheHooks::TransferDone(serversClientClass& client, bool failed)
{
    loop_.AssertOwner();
    TFtpTransfer& transfer = client.Transfer();
    CacheLease& lease = transfer.CachedCopy.Lease();
    if (!lease.Open()) return;
    cache_.CacheTransferDone(lease, transfer.RestartOffset, transfer.CachedCopy.Position(), failed);
    if (transfer.Listing) {
        if (failed) cache_.CacheInvalidate(transfer.ListedDirectory);
        else cache_.CacheUpdateSize(lease);
    }
    transfer.CachedCopy = CacheTransfer();
}

void CacheHooks::TransferDone(httpServersClientClass& client, bool failed)
{
    loop_.AssertOwner();
    CacheTransfer& copy = client.Answer().CachedCopy;
    CacheLease& lease = copy.Lease();
    if (lease.Open()) {
        cache_.CacheTransferDone(lease, copy.FillStart(), copy.Position(), failed || copy.FillBroken());
        cache_.CacheUpdateSize(lease);
    }
    copy = CacheTransfer();
}

void CacheHooks::Invalidate(const std::string& path)
{
    loop_.AssertOwner();
    cache_.CacheInvalidate(path);
}

void CacheHooks::InvalidateListings(const std::string& folder)
{
    loop_.AssertOwner();
    cache_.InvalidateFolderListings(folder);
}

void CacheHooks::Changed()
{
    if (autoRefresh_.load()) RefreshView();
}

void CacheHooks::RefreshView() { viewShow_.Hand(CacheViewContentsOf(cache_.CacheSnapshot())); }

}  // namespace corvane
