#include "accounts/account_directory.h"

#include <algorithm>

#include "accounts/account_names.h"
#include "common/text_case.h"

namespace corvane {

// ---- Records ----

AccountPtr AccountDirectory::RecordList::Find(const std::string& foldedName) const
{
    std::lock_guard guard(lock_);
    auto it = byFolded_.find(foldedName);
    return it == byFolded_.end() ? nullptr : it->second;
}

bool AccountDirectory::RecordList::Add(AccountPtr record)
{
    std::lock_guard guard(lock_);
    if (!byFolded_.emplace(FoldCase(record->Name()), record).second) return false;
    records_.push_back(std::move(record));
    return true;
}

void AccountDirectory::RecordList::Remove(const AccountPtr& record)
{
    std::lock_guard guard(lock_);
    auto it = std::find(records_.begin(), records_.end(), record);
    if (it == records_.end()) return;
    records_.erase(it);
    auto indexed = byFolded_.find(FoldCase(record->Name()));
    if (indexed != byFolded_.end() && indexed->second == record) byFolded_.erase(indexed);
}

std::vector<AccountPtr> AccountDirectory::RecordList::Snapshot() const
{
    std::lock_guard guard(lock_);
    return records_;
}

std::vector<AccountPtr> AccountDirectory::RecordList::Take()
{
    std::lock_guard guard(lock_);
    byFolded_.clear();
    return std::exchange(records_, {});
}

AccountPtr AccountDirectory::FindUser(std::string_view name) const { return users_.Find(FoldCase(MapLoginName(name))); }

AccountPtr AccountDirectory::FindGroup(std::string_view name) const { return groups_.Find(FoldCase(name)); }

AccountPtr AccountDirectory::FindAccount(std::string_view name) const
{
    if (AccountPtr group = FindGroup(name)) return group;
    return FindUser(name);
}

AccountPtr AccountDirectory::GroupOf(const accountClass& user) const
{
    if (user.IsGroup()) return nullptr;
    return FindGroup(user.group.Get());
}

bool AccountDirectory::Add(AccountPtr record)
{
    RecordList& list = record->IsGroup() ? groups_ : users_;
    return list.Add(std::move(record));
}

void AccountDirectory::Remove(const AccountPtr& record) { (record->IsGroup() ? groups_ : users_).Remove(record); }

std::vector<AccountPtr> AccountDirectory::Users() const { return users_.Snapshot(); }
std::vector<AccountPtr> AccountDirectory::Groups() const { return groups_.Snapshot(); }
std::vector<AccountPtr> AccountDirectory::TakeUsers() { return users_.Take(); }
std::vector<AccountPtr> AccountDirectory::TakeGroups() { return groups_.Take(); }

// ---- Name lists ----

std::vector<std::string> AccountDirectory::NameList::Get() const
{
    std::lock_guard guard(lock_);
    return names_;
}

void AccountDirectory::NameList::Set(std::vector<std::string> names)
{
    std::lock_guard guard(lock_);
    names_ = std::move(names);
}

void AccountDirectory::NameList::Append(std::string name)
{
    std::lock_guard guard(lock_);
    names_.push_back(std::move(name));
}

bool AccountDirectory::NameList::Remove(std::string_view name)
{
    std::lock_guard guard(lock_);
    auto it =
        std::find_if(names_.begin(), names_.end(), [&](const std::string& n) { return SameAccountName(n, name); });
    if (it == names_.end()) return false;
    names_.erase(it);
    return true;
}

std::vector<std::string> AccountDirectory::UserNames() const { return userNames_.Get(); }
std::vector<std::string> AccountDirectory::GroupNames() const { return groupNames_.Get(); }
void AccountDirectory::SetUserNames(std::vector<std::string> names) { userNames_.Set(std::move(names)); }
void AccountDirectory::SetGroupNames(std::vector<std::string> names) { groupNames_.Set(std::move(names)); }
void AccountDirectory::AppendUserName(std::string name) { userNames_.Append(std::move(name)); }
void AccountDirectory::AppendGroupName(std::string name) { groupNames_.Append(std::move(name)); }
bool AccountDirectory::RemoveUserName(std::string_view name) { return userNames_.Remove(name); }
bool AccountDirectory::RemoveGroupName(std::string_view name) { return groupNames_.Remove(name); }

}  // namespace corvane
