#include "accounts/account.h"

#include <algorithm>

namespace corvane {

int accountClass::IpConnectionCount(const std::string& address) const
{
    if (address.find('*') != std::string::npos) return 0;
    std::lock_guard lock(ipCountsLock_);
    auto it = ipCounts_.find(address);
    if (it == ipCounts_.end() || it->second < 0 || it->second > 999'999'999) return 0;
    return it->second;
}

void accountClass::SetIpConnectionCount(const std::string& address, int count)
{
    if (address.find('*') != std::string::npos) return;  // it would never be read back
    std::lock_guard lock(ipCountsLock_);
    ipCounts_[address] = count;
}

std::vector<FolderEntryPtr> accountClass::Entries() const
{
    std::lock_guard lock(entriesLock_);
    return entries_;
}

size_t accountClass::EntryCount() const
{
    std::lock_guard lock(entriesLock_);
    return entries_.size();
}

void accountClass::AppendEntry(FolderEntryPtr entry)
{
    std::lock_guard lock(entriesLock_);
    entries_.push_back(std::move(entry));
}

void accountClass::RemoveEntry(const FolderEntryPtr& entry)
{
    std::lock_guard lock(entriesLock_);
    auto it = std::find(entries_.begin(), entries_.end(), entry);
    if (it != entries_.end()) entries_.erase(it);
}

void accountClass::ClearEntries()
{
    std::lock_guard lock(entriesLock_);
    entries_.clear();
}

}  // namespace corvane
