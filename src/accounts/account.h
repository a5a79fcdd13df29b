#pragma once
// accountClass: one user or one group of the account store, with its properties, limits,
// live connection counters and folder entries.
//
// Threads: the window thread edits, the server thread reads and keeps the counters. Every
// field has its own lock (a `LockedValue`), held only for the single get or set; the folder
// list has its own lock too, held for one get, count, add or remove. Records are held by
// std::shared_ptr, so a record removed on one thread stays valid while another still uses it.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "accounts/folder_entry.h"
#include "accounts/stored_password.h"

namespace corvane {

// A value with its own lock: each Get and Set takes only this value's mutex.
template <typename T>
class LockedValue {
public:
    explicit LockedValue(T initial = T{})
        : value_(std::move(initial))
    {}
    T Get() const
    {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void Set(T value)
    {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }

private:
    mutable std::mutex mutex_;
    T value_;  // guarded by mutex_
};

using FolderEntryPtr = std::shared_ptr<folderEntryClass>;

class accountClass {
public:
    accountClass(std::string name, bool isGroup)
        : name_(std::move(name)),
          isGroup_(isGroup ? 1 : 0)
    {}

    const std::string& Name() const { return name_; }  // never changes after creation
    bool IsGroup() const { return isGroup_ != 0; }

    LockedValue<StoredPassword> password;  // never shown: neither logged nor in any view
    LockedValue<std::string> group;  // always empty for a group
    LockedValue<bool> deleted{false};
    LockedValue<bool> anyPassword{false};
    LockedValue<std::string> homeFolder;
    LockedValue<std::string> defaultWebLink;
    LockedValue<float> udRatio{0.0f};
    LockedValue<int> maxAccountConnections{0};
    LockedValue<int> currentConnections{0};
    LockedValue<int> maxIpConnections{0};
    LockedValue<int> maxTransferRate{0};
    LockedValue<int> idleTimeout{0};
    // What the account's folder file holds on disk (as read, or as last written); none when
    // there is no file or it is unknown. Lets a save skip a file whose content is unchanged.
    LockedValue<std::optional<std::string>> storedFolderFile;

    // Per-address counters, found by address. An address without a count counts 0, and so do
    // a count below 0 or above 999,999,999 and an address holding "*" (the counters were once
    // kept as "address*count" texts, which read so).
    int IpConnectionCount(const std::string& address) const;
    void SetIpConnectionCount(const std::string& address, int count);

    // The folder entries, in entry order. Entries() is a snapshot of the list.
    std::vector<FolderEntryPtr> Entries() const;
    size_t EntryCount() const;
    void AppendEntry(FolderEntryPtr entry);
    // Removes this entry (by identity) if present.
    void RemoveEntry(const FolderEntryPtr& entry);
    void ClearEntries();

private:
    const std::string name_;
    const int isGroup_;

    mutable std::mutex ipCountsLock_;
    std::unordered_map<std::string, int> ipCounts_;  // guarded by ipCountsLock_

    mutable std::mutex entriesLock_;
    std::vector<FolderEntryPtr> entries_;  // guarded by entriesLock_
};

using AccountPtr = std::shared_ptr<accountClass>;

}  // namespace corvane
